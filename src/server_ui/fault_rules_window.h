// Options > Modbus > "Fault &Rules...": the window "Fault Rules". A table with a row per rule of the
// set in force (its enabled box switches the rule; matched and fired refresh every 501 ms while the
// window is shown), the set's text in an editor, and the commands that apply, load, save and clear
// it and reset its counters. One instance, not modal; every change goes through the server service.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

namespace korvel {

class ServerService;

namespace texts {
inline const QString kFaultRulesItem = QStringLiteral("Fault &Rules...");
inline const QString kFaultRulesTitle = QStringLiteral("Fault Rules");
inline const QString kFaultRulesApply = QStringLiteral("&Apply");
inline const QString kFaultRulesLoad = QStringLiteral("&Load...");
inline const QString kFaultRulesSave = QStringLiteral("&Save...");
inline const QString kFaultRulesClear = QStringLiteral("C&lear");
inline const QString kFaultRulesResetCounters = QStringLiteral("Reset &Counters");
inline const QString kFaultRulesTableCaption = QStringLiteral("R&ules in force:");
inline const QString kFaultRulesTextCaption = QStringLiteral("Rule &text:");
inline const QString kFaultRulesFilter = QStringLiteral("Fault rules [*.toml] (*.toml)");
inline const QString kFaultRulesSuffix = QStringLiteral("toml");
inline const QString kFaultRulesLoadTitle = QStringLiteral("Load fault rules");
inline const QString kFaultRulesSaveTitle = QStringLiteral("Save fault rules");
} // namespace texts

// `Cannot read file "<name>": <reason>`.
QString CannotReadText(const QString& fileName, const std::string& reason);

class FaultRulesWindow : public QWidget {
    Q_OBJECT
  public:
    // A top-level window owned by `owner` (the main window); shows and changes `service`'s rules.
    FaultRulesWindow(QWidget* owner, ServerService& service);

    // "&Apply": loads the editor's text. An error is shown under the editor and nothing is
    // applied; on success the error line clears. true when applied.
    bool Apply1Click();
    // "&Load...", "&Save...": the file dialogs, then loadFile and saveFile.
    bool Load1Click();
    bool Save1Click();
    // The file's text goes into the editor and is applied; a file that cannot be read changes
    // nothing and is told in a message. true when applied.
    bool loadFile(const QString& fileName);
    // The editor's text, written beside the file and renamed over it. true when saved.
    bool saveFile(const QString& fileName);
    // "C&lear": no rule set is in force, the editor is empty.
    void Clear1Click();
    // "Reset &Counters"
    void ResetCounters1Click();

    // The refresh of the counters and the enabled boxes (the timer's tick, 501 ms while shown).
    void refreshCounters();

    QTableWidget* table() const { return table_; }
    QPlainTextEdit* editor() const { return editor_; }
    QLabel* errorLine() const { return error_; }
    QTimer* refreshTimer() const { return timer_; }
    QPushButton* Apply1() const { return apply_; }
    QPushButton* Load1() const { return load_; }
    QPushButton* Save1() const { return save_; }
    QPushButton* Clear1() const { return clear_; }
    QPushButton* ResetCounters1() const { return reset_; }

    static constexpr int kRefreshInterval = 501;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // The rules were loaded, cleared, switched or reset, from anywhere.
    void rulesChanged();
    // Builds the table's rows anew from the set in force.
    void showRules();
    void itemChanged(QTableWidgetItem* item);
    QString askFileName(bool save);
    void setError(const QString& text);

    ServerService& service_;
    QTableWidget* table_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* reset_ = nullptr;
    QTimer* timer_ = nullptr;
    QString shownText_;         // the text of the set the table shows
    bool applying_ = false;     // the editor's own text is being applied: the editor stays as it is
    bool updatingRows_ = false; // the table's boxes are being set, not clicked
};

} // namespace korvel
