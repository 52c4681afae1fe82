// Every message box of the program goes through here, so that tests can capture what a user
// would have seen instead of blocking on a modal box.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace korvel {

enum class MessageKind { Information, Warning, Error, Question };

struct ShownMessage {
    MessageKind kind;
    QString caption;
    QString text;
};

// Shows a message box (modal). For Question the result is QMessageBox::Yes or No; otherwise Ok.
// When a test hook is installed, the hook receives the message and returns the answer instead.
// When the environment variable KORVEL_MESSAGE_LOG names a file, the message is appended to it as
// one line "caption<TAB>text" and not shown (questions are answered with KORVEL_MESSAGE_ANSWER,
// "yes" or "no", default "no"); end-to-end tests read that file.
QMessageBox::StandardButton ShowMessage(QWidget* parent, MessageKind kind, const QString& caption, const QString& text);

// Tests: install a hook (nullptr removes it).
using MessageHook = std::function<QMessageBox::StandardButton(const ShownMessage&)>;
void SetMessageHook(MessageHook hook);

} // namespace korvel
