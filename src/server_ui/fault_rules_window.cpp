#include "server_ui/fault_rules_window.h"

#include "faults/fault_rules_file.h"
#include "server/fault_table_rules.h"
#include "service/server_service.h"
#include "ui/message_box.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace korvel {

namespace {

constexpr int Column(FaultTableColumn column)
{
    return static_cast<int>(column);
}

QString Latin(const std::string& text)
{
    return QString::fromStdString(text);
}

// Sets the cell's text only when it differs: a refresh repaints nothing that stayed.
void SetCellText(QTableWidgetItem* item, const QString& text)
{
    if (item->text() != text)
        item->setText(text);
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(alignment);
    return item;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

QString CannotReadText(const QString& fileName, const std::string& reason)
{
    return QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, QString::fromStdString(reason));
}

FaultRulesWindow::FaultRulesWindow(QWidget* owner, ServerService& service)
    : QWidget(owner, Qt::Window), service_(service)
{
    setObjectName(QStringLiteral("FaultRulesWindow"));
    setWindowTitle(texts::kFaultRulesTitle);

    auto* layout = new QVBoxLayout(this);
    auto* tableCaption = new QLabel(texts::kFaultRulesTableCaption, this);
    layout->addWidget(tableCaption);
    table_ = new QTableWidget(0, kFaultTableColumnCount, this);
    table_->setObjectName(QStringLiteral("tblRules"));
    table_->setAccessibleName(QStringLiteral("Rules in force"));
    QStringList heads;
    for (const char* head : kFaultTableHeads)
        heads << QString::fromLatin1(head);
    table_->setHorizontalHeaderLabels(heads);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false); // Tab leaves the table for the editor and the buttons
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(Column(FaultTableColumn::Scope), QHeaderView::Stretch);
    tableCaption->setBuddy(table_);
    layout->addWidget(table_, 1);

    auto* textCaption = new QLabel(texts::kFaultRulesTextCaption, this);
    layout->addWidget(textCaption);
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName(QStringLiteral("edtRules"));
    editor_->setAccessibleName(QStringLiteral("Rule text"));
    editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor_->setTabChangesFocus(true); // the keyboard reaches the buttons below
    textCaption->setBuddy(editor_);
    layout->addWidget(editor_, 1);
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("lblRulesError"));
    error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    error_->setWordWrap(true);
    QPalette errorPalette = error_->palette();
    errorPalette.setColor(QPalette::WindowText, Qt::darkRed);
    error_->setPalette(errorPalette);
    layout->addWidget(error_);

    auto* buttons = new QHBoxLayout;
    apply_ = Button(texts::kFaultRulesApply, "Apply1", this);
    load_ = Button(texts::kFaultRulesLoad, "Load1", this);
    save_ = Button(texts::kFaultRulesSave, "Save1", this);
    clear_ = Button(texts::kFaultRulesClear, "Clear1", this);
    reset_ = Button(texts::kFaultRulesResetCounters, "ResetCounters1", this);
    for (QPushButton* button : {apply_, load_, save_, clear_, reset_})
        buttons->addWidget(button);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply1Click(); });
    connect(load_, &QPushButton::clicked, this, [this] { Load1Click(); });
    connect(save_, &QPushButton::clicked, this, [this] { Save1Click(); });
    connect(clear_, &QPushButton::clicked, this, &FaultRulesWindow::Clear1Click);
    connect(reset_, &QPushButton::clicked, this, &FaultRulesWindow::ResetCounters1Click);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("tmrCounters"));
    timer_->setInterval(kRefreshInterval);
    connect(timer_, &QTimer::timeout, this, &FaultRulesWindow::refreshCounters);

    connect(table_, &QTableWidget::itemChanged, this, &FaultRulesWindow::itemChanged);
    connect(&service_, &ServerService::faultRulesChanged, this, &FaultRulesWindow::rulesChanged);

    shownText_ = service_.faultRulesText();
    editor_->setPlainText(shownText_);
    showRules();
    resize(820, 560);
}

void FaultRulesWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshCounters();
    timer_->start();
}

void FaultRulesWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    timer_->stop();
}

void FaultRulesWindow::rulesChanged()
{
    const QString& text = service_.faultRulesText();
    if (text == shownText_) {
        refreshCounters(); // switched or reset: the rows stay, their boxes and counters change
        return;
    }
    shownText_ = text;
    // A set applied elsewhere (the command line, D-Bus) is shown in the editor; the editor's own
    // text stays as typed.
    if (!applying_) {
        editor_->setPlainText(text);
        setError(QString());
    }
    showRules();
}

void FaultRulesWindow::showRules()
{
    // The text in force was read without an error when it was applied; it gives the rules' scope
    // and schedule, the service their names, kinds, boxes and counters, in the same order.
    const FaultRulesParse parsed = ParseFaultRules(shownText_.toStdString());
    const std::vector<FaultRuleCounters> counters = service_.faultCounters();
    updatingRows_ = true;
    table_->setRowCount(static_cast<int>(counters.size()));
    for (size_t i = 0; i < counters.size(); ++i) {
        const int row = static_cast<int>(i);
        const FaultRuleCounters& rule = counters[i];
        const FaultRule* values = parsed.ok() && i < parsed.set.rules.size() ? &parsed.set.rules[i] : nullptr;
        const QString name = Latin(rule.name);
        auto* box = new QTableWidgetItem;
        box->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        box->setCheckState(rule.enabled ? Qt::Checked : Qt::Unchecked);
        box->setData(Qt::AccessibleTextRole, QStringLiteral("On: ") + name);
        table_->setItem(row, Column(FaultTableColumn::Enabled), box);
        table_->setItem(row, Column(FaultTableColumn::Name), Cell(name));
        table_->setItem(row, Column(FaultTableColumn::Kind), Cell(Latin(std::string(FaultKindName(rule.kind)))));
        table_->setItem(row, Column(FaultTableColumn::Scope),
                        Cell(values ? Latin(FaultScopeText(*values)) : QString()));
        table_->setItem(row, Column(FaultTableColumn::Schedule),
                        Cell(values ? Latin(FaultScheduleText(*values)) : QString()));
        const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
        table_->setItem(row, Column(FaultTableColumn::Matched), Cell(QString::number(rule.matched), right));
        table_->setItem(row, Column(FaultTableColumn::Fired), Cell(QString::number(rule.fired), right));
    }
    updatingRows_ = false;
}

void FaultRulesWindow::refreshCounters()
{
    const std::vector<FaultRuleCounters> counters = service_.faultCounters();
    if (static_cast<int>(counters.size()) != table_->rowCount()) {
        showRules();
        return;
    }
    updatingRows_ = true;
    for (size_t i = 0; i < counters.size(); ++i) {
        const int row = static_cast<int>(i);
        const FaultRuleCounters& rule = counters[i];
        SetCellText(table_->item(row, Column(FaultTableColumn::Matched)), QString::number(rule.matched));
        SetCellText(table_->item(row, Column(FaultTableColumn::Fired)), QString::number(rule.fired));
        QTableWidgetItem* box = table_->item(row, Column(FaultTableColumn::Enabled));
        const Qt::CheckState state = rule.enabled ? Qt::Checked : Qt::Unchecked;
        if (box->checkState() != state)
            box->setCheckState(state);
    }
    updatingRows_ = false;
}

void FaultRulesWindow::itemChanged(QTableWidgetItem* item)
{
    if (updatingRows_ || item->column() != Column(FaultTableColumn::Enabled))
        return;
    const QTableWidgetItem* name = table_->item(item->row(), Column(FaultTableColumn::Name));
    if (name == nullptr)
        return;
    if (!service_.setFaultRuleEnabled(name->text(), item->checkState() == Qt::Checked))
        refreshCounters(); // the rule has gone meanwhile: the rows follow the set in force
}

void FaultRulesWindow::setError(const QString& text)
{
    if (error_->text() != text)
        error_->setText(text);
}

bool FaultRulesWindow::Apply1Click()
{
    applying_ = true;
    const std::optional<FaultRulesError> error = service_.loadFaultRules(editor_->toPlainText());
    applying_ = false;
    if (error) {
        setError(QString::fromStdString(error->text()));
        return false;
    }
    setError(QString());
    return true;
}

QString FaultRulesWindow::askFileName(bool save)
{
    QFileDialog dialog(this, save ? texts::kFaultRulesSaveTitle : texts::kFaultRulesLoadTitle);
    dialog.setNameFilter(texts::kFaultRulesFilter);
    dialog.setDefaultSuffix(texts::kFaultRulesSuffix);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

bool FaultRulesWindow::Load1Click()
{
    const QString fileName = askFileName(false);
    return !fileName.isEmpty() && loadFile(fileName);
}

bool FaultRulesWindow::Save1Click()
{
    const QString fileName = askFileName(true);
    return !fileName.isEmpty() && saveFile(fileName);
}

bool FaultRulesWindow::loadFile(const QString& fileName)
{
    // The file's text goes into the editor and is applied; an error in it shows under the editor.
    applying_ = true;
    const ServerService::FaultRulesFileLoad file = service_.loadFaultRulesFile(fileName);
    applying_ = false;
    if (!file.readError.empty()) {
        ShowMessage(this, MessageKind::Warning, texts::kFaultRulesTitle, CannotReadText(fileName, file.readError));
        return false;
    }
    editor_->setPlainText(file.text);
    setError(file.error ? QString::fromStdString(file.error->text()) : QString());
    return file.ok();
}

bool FaultRulesWindow::saveFile(const QString& fileName)
{
    const QByteArray content = editor_->toPlainText().toUtf8();
    // Written beside the target and renamed over it only when complete: a failed save leaves the
    // previous file as it was.
    QSaveFile file(fileName);
    auto failed = [this, &fileName](const QString& why) {
        ShowMessage(this, MessageKind::Warning, texts::kFaultRulesTitle,
                    QStringLiteral("Cannot save file \"%1\": %2").arg(fileName, why));
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    // The buffered bytes are flushed here and checked: commit() alone would rename a file whose
    // last write failed over the previous one.
    if (file.write(content) != content.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        file.commit();
        return failed(error);
    }
    if (!file.commit())
        return failed(file.errorString());
    return true;
}

void FaultRulesWindow::Clear1Click()
{
    applying_ = true;
    service_.clearFaultRules();
    applying_ = false;
    editor_->clear();
    setError(QString());
}

void FaultRulesWindow::ResetCounters1Click()
{
    service_.resetFaultCounters();
}

} // namespace korvel
