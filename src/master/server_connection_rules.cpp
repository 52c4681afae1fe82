#include "master/server_connection_rules.h"

#include "common/numeric.h"

namespace korvel {

namespace {

// The number of a field, as a 64-bit value so that no literal the shared text check accepts is
// lost: beyond 32 bits it is taken as the 32-bit bound of its sign, which every clamp here covers.
std::optional<int64_t> FieldNumber(std::string_view text)
{
    if (!IsNumericOrHex(text, false)) {
        return std::nullopt;
    }
    try {
        return NumericOrHexToInt(text, false);
    } catch (const ConversionError&) {
        return text.find('-') != std::string_view::npos ? INT32_MIN : INT32_MAX;
    }
}

FieldCheck Clamped(std::string_view text, int minimum, int maximum)
{
    const std::optional<int64_t> value = FieldNumber(text);
    if (!value) {
        return {false, std::string(text)};
    }
    return {true, DecText(ClampRange(*value, minimum, maximum))};
}

} // namespace

Activation ActivateServerFields(const RememberedPartner& partner, bool hasRemembered, std::string_view LocalHostAddress)
{
    Activation out;
    out.remotePort = partner.PrevPort == 0 ? kDefaultRemotePort : partner.PrevPort;
    out.fields.port = DecText(out.remotePort);
    std::string address;
    if (hasRemembered) {
        for (int32_t octet : partner.octets) {
            address += DecText(octet) + ".";
        }
    } else {
        address = std::string(LocalHostAddress) + ".";
    }
    // Each field takes the text before the first "."; that text and its "." are then removed.
    for (std::string& field : out.fields.octets) {
        const size_t dot = address.find('.');
        if (dot == std::string::npos) {
            field.clear();
            continue;
        }
        field = address.substr(0, dot);
        address.erase(0, dot + 1);
    }
    return out;
}

FieldCheck OctetFieldChanged(std::string_view text)
{
    return Clamped(text, kOctetMin, kOctetMax);
}

FieldCheck PortFieldChanged(std::string_view text)
{
    return Clamped(text, kPortMin, kPortMax);
}

Confirmation ConfirmServerFields(const ServerFields& fields)
{
    static constexpr std::array<int32_t, 4> kLoopback{127, 0, 0, 1};
    Confirmation out;
    for (size_t i = 0; i < fields.octets.size(); ++i) {
        if (i > 0) {
            out.serverIP += ".";
        }
        out.serverIP += fields.octets[i];
        const std::optional<int64_t> value = FieldNumber(fields.octets[i]);
        out.remembered.octets[i] = value ? static_cast<int32_t>(*value) : kLoopback[i];
    }
    const std::optional<int64_t> port = FieldNumber(fields.port);
    out.remembered.PrevPort = port ? static_cast<int32_t>(*port) : kDefaultRemotePort;
    if (port) {
        out.remotePort = static_cast<int32_t>(*port);
    }
    return out;
}

std::string PartnerLabelText(std::string_view serverIP, std::string_view portText)
{
    return "IP: " + std::string(serverIP) + "  Port: " + std::string(portText);
}

} // namespace korvel
