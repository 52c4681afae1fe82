#include "view/variable_list_file.h"

#include "common/numeric.h"
#include "common/register_store.h"
#include "common/variable_list.h"
#include "service/time_text.h"
#include "ui/message_box.h"
#include "ui/view_options.h"
#include "ui/window_texts.h"
#include "view/register_list_view.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QKeySequence>
#include <QMenu>
#include <QSaveFile>

namespace korvel {

VariableListFile::VariableListFile(QWidget* owner, ViewOptions& options, RegisterStore& store, RegisterListView& list,
                                   QMenu* fileMenu, const QString& commandLineFile)
    : QObject(owner), owner_(owner), options_(options), store_(store), list_(list), commandLineFile_(commandLineFile)
{
    QMenu* menu = fileMenu;
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
    Open1_ = new QAction(texts::kOpenItem, menu);
    Open1_->setObjectName(QStringLiteral("Open1"));
    Open1_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Save1_ = new QAction(texts::kSaveItem, menu);
    Save1_->setObjectName(QStringLiteral("Save1"));
    Save1_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    menu->insertAction(first, Open1_);
    menu->insertAction(first, Save1_);
    connect(Open1_, &QAction::triggered, this, [this] { Open1Click(); });
    connect(Save1_, &QAction::triggered, this, [this] { Save1Click(); });
}

QString VariableListFile::askFileName(bool save)
{
    // A new dialog each time: it starts with an empty file name.
    QFileDialog dialog(owner_, save ? texts::kSaveDialogTitle : texts::kOpenDialogTitle);
    dialog.setNameFilter(texts::kVariableListFilter);
    dialog.setDefaultSuffix(texts::kVariableListSuffix);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

bool VariableListFile::Open1Click()
{
    QString fileName;
    if (OpenFromCommandLine) {
        fileName = commandLineFile_;
        if (!HasVariableListExtension(fileName.toStdString())) {
            ShowMessage(owner_, MessageKind::Information, texts::kApplicationTitle,
                        texts::kInvalidExtension + fileName);
            return false;
        }
    } else {
        fileName = askFileName(false);
        if (fileName.isEmpty()) {
            return false;
        }
    }
    return loadFile(fileName);
}

bool VariableListFile::loadFile(const QString& fileName)
{
    std::string content;
    if (const std::string why = ReadVariableListFile(QFile::encodeName(fileName).toStdString(), content);
        !why.empty()) {
        ShowMessage(owner_, MessageKind::Warning, texts::kOpeningFile,
                    QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, QString::fromStdString(why)));
        return false;
    }

    const VariableListLoad result = ReadVariableList(content, store_, options_.Showregistersathex());
    RegisterListView* list = &list_;
    for (int row = 0; row < result.inputCount; ++row) {
        list->setLabel(true, row, QString::fromStdString(result.inputLabels[static_cast<size_t>(row)]));
    }
    for (int row = 0; row < result.holdCount; ++row) {
        list->setLabel(false, row, QString::fromStdString(result.holdLabels[static_cast<size_t>(row)]));
    }
    if (!result.ok) {
        ShowMessage(owner_, MessageKind::Warning, texts::kOpeningFile, QString::fromStdString(result.messageText()));
        return false;
    }
    options_.VLEUpdateNeeded = true;
    return true;
}

bool VariableListFile::Save1Click()
{
    const QString fileName = askFileName(true);
    if (fileName.isEmpty()) {
        return false;
    }
    return saveFile(fileName);
}

bool VariableListFile::saveFile(const QString& fileName)
{
    RegisterListLabels inputLabels;
    RegisterListLabels holdLabels;
    const RegisterListView* list = &list_;
    for (int row = 0; row < kVariableListRows; ++row) {
        inputLabels[static_cast<size_t>(row)] = list->label(true, row).toStdString();
        holdLabels[static_cast<size_t>(row)] = list->label(false, row).toStdString();
    }
    std::string content;
    try {
        const RegisterList inputList = LabelsToRegisters(inputLabels, options_.Showregistersathex());
        const RegisterList holdList = LabelsToRegisters(holdLabels, options_.Showregistersathex());
        const QString stamp = StatusClockText(QDateTime::currentDateTime());
        content = WriteVariableList(store_, inputList, holdList, stamp.toStdString());
    } catch (const ConversionError& e) {
        ShowMessage(owner_, MessageKind::Warning, texts::kSaveAs, QString::fromStdString(e.what()));
        return false;
    }

    // Written beside the target and renamed over it only when complete: a failed save leaves the
    // previous file as it was.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowMessage(owner_, MessageKind::Warning, texts::kSaveAs, file.errorString());
        return false;
    }
    const auto size = static_cast<qint64>(content.size());
    // The buffered bytes are flushed here and checked: commit() alone would rename a file whose
    // last write failed over the previous one.
    if (file.write(content.data(), size) != size || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        file.commit();
        ShowMessage(owner_, MessageKind::Warning, texts::kSaveAs, error);
        return false;
    }
    if (!file.commit()) {
        ShowMessage(owner_, MessageKind::Warning, texts::kSaveAs, file.errorString());
        return false;
    }
    return true;
}

} // namespace korvel
