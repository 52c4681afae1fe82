// File > "&Open..." and "&Save As...": the variable-list file on disk, its dialogs and messages.
// A file named on the command line is loaded at start-up, and reloaded by "&Open..." for the rest
// of the run.
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace korvel {

class RegisterListView;
class RegisterStore;
class ViewOptions;

namespace texts {
inline const QString kOpenItem = QStringLiteral("&Open...");
inline const QString kSaveItem = QStringLiteral("&Save As...");
inline const QString kOpenDialogTitle = QStringLiteral("Open Korvel variable list");
inline const QString kSaveDialogTitle = QStringLiteral("Save Korvel variable list");
inline const QString kVariableListFilter = QStringLiteral("Korvel variable list [*.korvel] (*.korvel)");
inline const QString kVariableListSuffix = QStringLiteral("korvel");
inline const QString kOpeningFile = QStringLiteral("Opening file");
inline const QString kSaveAs = QStringLiteral("Save as...");
inline const QString kInvalidExtension = QStringLiteral("Invalid file extension: ");
} // namespace texts

class VariableListFile : public QObject {
    Q_OBJECT
  public:
    // Adds "&Open..." and "&Save As..." at the top of `fileMenu`; its dialogs and messages belong
    // to `owner` (the main window). `commandLineFile` is the first command-line argument as given.
    VariableListFile(QWidget* owner, ViewOptions& options, RegisterStore& store, RegisterListView& list,
                     QMenu* fileMenu, const QString& commandLineFile);

    // "&Open...": the command-line file while OpenFromCommandLine is set, else the file chosen
    // in the open dialog. Returns true when a file was loaded.
    bool Open1Click();
    // "&Save As...": writes the registers and both register lists to the file chosen in the save
    // dialog. Returns true when the file was saved.
    bool Save1Click();

    // Loading and saving without the dialogs.
    bool loadFile(const QString& fileName);
    bool saveFile(const QString& fileName);

    QAction* Open1() const { return Open1_; }
    QAction* Save1() const { return Save1_; }

    // The first command-line argument named a file: it is loaded at start-up and by "&Open...".
    bool OpenFromCommandLine = false;

  private:
    QString askFileName(bool save);

    QWidget* owner_;
    ViewOptions& options_;
    RegisterStore& store_;
    RegisterListView& list_;
    QString commandLineFile_;
    QAction* Open1_ = nullptr;
    QAction* Save1_ = nullptr;
};

} // namespace korvel
