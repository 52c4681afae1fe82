#include "ui/message_box.h"

#include "common/message_end.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTextStream>
#include <vector>

namespace korvel {

namespace {
MessageHook& hook()
{
    static MessageHook h;
    return h;
}
bool& ending()
{
    static bool e = false;
    return e;
}
// The boxes shown now: a box's own event loop may show another one over it.
std::vector<QPointer<QMessageBox>>& openBoxes()
{
    static std::vector<QPointer<QMessageBox>> boxes;
    return boxes;
}
} // namespace

void SetMessageHook(MessageHook h)
{
    hook() = std::move(h);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, MessageKind kind, const QString& caption, const QString& text)
{
    const bool question = kind == MessageKind::Question;
    const QMessageBox::StandardButton ended = question ? QMessageBox::No : QMessageBox::Ok;
    if (hook())
        return hook()(ShownMessage{kind, caption, text});
    if (ending())
        return ended;

    const QByteArray logPath = qgetenv("KORVEL_MESSAGE_LOG");
    const QByteArray answer = qgetenv("KORVEL_MESSAGE_ANSWER").toLower();
    if (!logPath.isEmpty()) {
        QFile f(QString::fromLocal8Bit(logPath));
        if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            QTextStream out(&f);
            out << caption << '\t' << text << '\n';
        }
        if (answer != "show")
            return !question ? QMessageBox::Ok : answer == "yes" ? QMessageBox::Yes : QMessageBox::No;
    }

    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (kind) {
    case MessageKind::Information:
        break;
    case MessageKind::Warning:
        icon = QMessageBox::Warning;
        break;
    case MessageKind::Error:
        icon = QMessageBox::Critical;
        break;
    case MessageKind::Question:
        icon = QMessageBox::Warning;
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setDefaultButton(question ? QMessageBox::No : QMessageBox::Ok);
    openBoxes().emplace_back(&box);
    const int result = box.exec();
    openBoxes().pop_back();
    if (ending())
        return ended;
    return static_cast<QMessageBox::StandardButton>(result);
}

void EndMessages()
{
    ending() = true;
    for (const QPointer<QMessageBox>& box : openBoxes()) {
        if (box)
            box->done(QMessageBox::No);
    }
}

} // namespace korvel
