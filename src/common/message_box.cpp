#include "common/message_box.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>

namespace korvel {

namespace {
MessageHook& hook()
{
    static MessageHook h;
    return h;
}
} // namespace

void SetMessageHook(MessageHook h)
{
    hook() = std::move(h);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, MessageKind kind, const QString& caption, const QString& text)
{
    const bool question = kind == MessageKind::Question;
    if (hook())
        return hook()(ShownMessage{kind, caption, text});

    const QByteArray logPath = qgetenv("KORVEL_MESSAGE_LOG");
    if (!logPath.isEmpty()) {
        QFile f(QString::fromLocal8Bit(logPath));
        if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            QTextStream out(&f);
            out << caption << '\t' << text << '\n';
        }
        if (!question)
            return QMessageBox::Ok;
        return qgetenv("KORVEL_MESSAGE_ANSWER").toLower() == "yes" ? QMessageBox::Yes : QMessageBox::No;
    }

    switch (kind) {
    case MessageKind::Information:
        return QMessageBox::information(parent, caption, text);
    case MessageKind::Warning:
        return QMessageBox::warning(parent, caption, text);
    case MessageKind::Error:
        return QMessageBox::critical(parent, caption, text);
    case MessageKind::Question:
        return QMessageBox::warning(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    }
    return QMessageBox::Ok;
}

} // namespace korvel
