// The "Server connection" dialog (`TSetServerIP`) as rules: what its fields show when it becomes
// active, how each field is checked and clamped as it changes, and what OK hands to its caller
// (the client or the scanner). The texts of the connection's status line, partner label and
// keepalive failures live here too.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

inline constexpr const char* kServerConnectionCaption = "Server connection";
inline constexpr const char* kConnectionFailedText = "Connection creation failed";
inline constexpr const char* kConnectionEstablishedText = "Connection established";
inline constexpr const char* kNoPartnerText = "IP: --  Port: --";
inline constexpr const char* kKeepaliveOnFailedText = "Activating Keepalive failed";
inline constexpr const char* kKeepaliveOffFailedText = "Deactivating Keepalive failed";

constexpr int32_t kDefaultRemotePort = 502;
constexpr int kOctetMin = 0, kOctetMax = 255;
constexpr int kPortMin = 1, kPortMax = 65535;
// The dialog's status line is cleared once, this long after it opens (`Timer1`).
constexpr int kStatusLineClearMs = 3000;

// What a caller remembers of the last address confirmed with OK.
struct RememberedPartner {
    std::array<int32_t, 4> octets{-1, 0, 0, 0}; // PrevA..PrevD; the client's PrevA -1: none yet
    int32_t PrevPort = 0;                       // 0: none yet
};

// The texts of Edit1..Edit4 (octets) and Edit5 (port).
struct ServerFields {
    std::array<std::string, 4> octets;
    std::string port;
};

struct Activation {
    ServerFields fields;
    int32_t remotePort = kDefaultRemotePort; // the caller's remote port becomes this
};

// `FormActivate`: the remembered port (502 when none) and the remembered octets, or, while the
// caller has none (`hasRemembered` false), the octets of `LocalHostAddress` ("" gives four empty
// fields).
Activation ActivateServerFields(const RememberedPartner& partner, bool hasRemembered,
                                std::string_view LocalHostAddress);

// A field after any change of its text: a whole number is written back clamped to its range in
// decimal and enables OK; anything else (empty, not a number) leaves the text and disables OK.
struct FieldCheck {
    bool okEnabled = false;
    std::string text; // the field's text afterwards
};
FieldCheck OctetFieldChanged(std::string_view text);
FieldCheck PortFieldChanged(std::string_view text);

// What OK writes into the caller before it tries to connect.
struct Confirmation {
    std::string serverIP;              // the four fields joined with "." as they stand
    RememberedPartner remembered;      // fields that are no number become 127, 0, 0, 1 and 502
    std::optional<int32_t> remotePort; // set only when the port field is a number
};
Confirmation ConfirmServerFields(const ServerFields& fields);

// "IP: <ip>  Port: <port text>" after a successful connect.
std::string PartnerLabelText(std::string_view serverIP, std::string_view portText);

} // namespace korvel
