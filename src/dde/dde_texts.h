// The desktop publishing's own texts and bus names, defined once so that the code and the tests
// compare against the same text.
#pragma once

#include <QString>
#include <QStringList>

namespace korvel::texts {

// Options menu item and the dialog.
inline const QString kDdeServer = QStringLiteral("&DDE Server...");
inline const QString kDdeDialogTitle = QStringLiteral("DDE");
inline const QString kServerActivation = QStringLiteral("Server activation");
inline const QStringList kDdeChoices = {
    QStringLiteral("&All Input and Holding registers"), QStringLiteral("&Input registers"),
    QStringLiteral("&Range of Input registers"),        QStringLiteral("&Holding registers"),
    QStringLiteral("Ra&nge of Holding registers"),      QStringLiteral("Ran&ge of Input and Holding registers")};
inline const QString kDdeChoicesHint = QStringLiteral("Definition of registers to be used for DDE");
inline const QString kDdeHelpHint = QStringLiteral("How to use DDE from client to Korvel");
inline const QString kDdeRangeError = QStringLiteral("Range error (0 - 65535) - check values");

// The help box: its title (one time in 30 the other one) and its lines, each ended by a CR. The
// addresses are the bus name, the object and the item a desktop client uses (%1: the bus name).
inline const QString kDdeHelpTitle = kDdeDialogTitle;
inline const QString kDdeHelpRareTitle = QStringLiteral("Hello Sailor!");
inline const QStringList kDdeHelpLines = {
    QStringLiteral("Following topics are used:"),
    QString(),
    QStringLiteral("\"input\" for input register(s)."),
    QString(),
    QStringLiteral("\"holding\" for holding register(s)."),
    QString(),
    QStringLiteral("To point the register item, use prefix \"r\" followed by the register number."),
    QString(),
    QStringLiteral("For example:"),
    QStringLiteral("\"%1 /input r933\" points to the input register 933. "),
    QStringLiteral("\"%1 /holding r8862\" points to the holding register 8862.")};

// The bus interface of the topics and its errors.
inline const QString kTopicInterface = QStringLiteral("org.korvel.Topic");
inline const QString kUnknownItemError = QStringLiteral("org.korvel.Topic.Error.UnknownItem");
inline const QString kUnknownItemText = QStringLiteral("Item \"%1\" is not published in topic \"%2\"");
inline const QString kPokeTooLongText = QStringLiteral("Poked text of %1 bytes is longer than %2 bytes");

} // namespace korvel::texts
