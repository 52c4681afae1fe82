// The register list: the left column of the main window. Its two table views (the list and the
// usage column beside it) show slices of one model of the 26 rows over the register store; the
// view keeps the Edit/Monitor mode, the refresh tick, the start-address, UID and table controls,
// its menu items, scrolling, copying and the set-value requests.
#pragma once

#include <QString>
#include <QTableView>
#include <QWidget>

class QAction;
class QComboBox;
class QGroupBox;
class QRadioButton;
class QMenu;
class QTimer;
class QVBoxLayout;

namespace korvel {

class RefreshRequests;
class RegisterListModel;
class RegisterStore;
class RwColumnActions;
class RwColumnMenu;
class ServerService;
class TypedLengthLimit;
class ViewOptions;

// The list widget itself: commits an open cell editor on request and moves down on Enter.
class RegisterTable : public QTableView {
    Q_OBJECT
  public:
    using QTableView::QTableView;
    // Commits the cell being edited, if any, and closes its editor.
    void commitOpenEditor();
    // The current cell (-1 when there is none) and making a cell current, which selects it.
    int currentRow() const { return currentIndex().row(); }
    int currentColumn() const { return currentIndex().column(); }
    void setCurrentCell(int row, int column);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class RegisterListView : public QWidget {
    Q_OBJECT
  public:
    // Places itself in `column` (a column of `owner`, the main window), adds its items to
    // `editMenu` and `viewMenu`, keeps `options`' formats in step with its View items, redraws on
    // `refresh`'s R/W requests and sends the UID box to the server as its unit-identifier filter.
    RegisterListView(QWidget* owner, ViewOptions& options, RegisterStore& store, ServerService& server,
                     RefreshRequests& refresh, QMenu* editMenu, QMenu* viewMenu, QVBoxLayout* column);
    ~RegisterListView() override;

    // Row labels (register number texts, rows 0..25) of either table: from the list when that table
    // is shown, else from the parked labels. Used by the variable-list file.
    QString label(bool inputTable, int row) const;
    void setLabel(bool inputTable, int row, const QString& text);
    bool inputShown() const;
    bool editMode() const { return RG4ItemIndex() == 0; }

    // Redraws both columns from the caches (deferred while in Edit mode).
    void RenderVLE();
    // Refresh tick: compares labels and values with the caches and redraws on a difference.
    void Timer2Timer();
    // The delayed redraw: switched on by the publishing dialog, fires once after 3000 ms.
    void startUpdateMeTimer();
    void UpdateMeTimerTimer();

    // Handlers of the left column and the menu items, as the user triggers them.
    void ComboBoxAddressChange();
    void wheelScroll(bool down);
    void middleButtonScroll(bool shift);
    void VLEDblClick();
    void openSetValueDialogAtRow(int row);
    void SetregisterClick(); // "Set Register Value" and the tray's "Set register value"

    // The R/W column's context menu drives `actions` (the client window); without them it stays shut.
    void setRwColumnActions(RwColumnActions* actions);
    // Right mouse button on R/W row `row` (0..25): sets the menu's marks and enabling and opens it
    // at `at` unless the register is 0; true when it opened.
    bool VLE_RWMouseDown(int row, const QPoint& at);
    RwColumnMenu& rwMenu() { return *rwMenu_; }

    // The rows, and the controls, for the window and for tests.
    RegisterListModel& model() const { return *model_; }
    RegisterTable* vle() const { return VLE; }
    QTableView* vleRW() const { return VLE_RW; }
    QComboBox* startAddressBox() const { return ComboBoxAddress; }
    QComboBox* uidBox() const { return ComboBoxUID; }
    QRadioButton* inputButton() const { return RBInput; }
    QRadioButton* holdingButton() const { return RBHold; }
    QAction* editAction() const { return Edit1; }
    QAction* monitorAction() const { return Monitor1; }
    QAction* copyAction() const { return Copytoclipboard1; }
    QAction* setRegisterAction() const { return Setregister2; }
    QAction* setRegisterTrayAction() const { return Setregister1; }
    QAction* registersAsHexAction() const { return Showregistersathex; }
    QAction* valuesAsHexAction() const { return ShowHex; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Builders of the constructor, in the order it calls them.
    void buildList(const QFont& listFont);
    void buildUsageColumn(const QFont& listFont);
    static int tableHeight(const QTableView* table);
    void buildStartAddressGroup();
    void buildUidGroup();
    void buildTypeAndModeGroups();
    void buildLayout();
    void buildMenuItems();
    void connectHandlers();
    void buildTimers();

    int RG4ItemIndex() const; // 0 Edit, 1 Monitor
    void setMode(int index);
    void applyMode();
    void switchTable(bool toInput);
    void ShowregistersathexClick();
    void ShowHexClick();
    void CopytoclipboardClick();
    void ComboBoxUIDChange();
    // The UID box shows the server's selector text, however it was set ("00" too, as an item of
    // its own while it is chosen).
    void showUidSelector();
    void fillStartAddressItems(int last);
    void setBoxText(const QString& text);
    QString cellText(int row, int column) const;
    void reportConversionError(const QString& text);

    ViewOptions& options_;
    RegisterStore& store_;
    ServerService& server_;
    RefreshRequests& refresh_;
    QMenu* editMenu_;
    QMenu* viewMenu_;

    RegisterListModel* model_ = nullptr;       // the 26 rows: register number, value, usage
    RegisterTable* VLE = nullptr;              // register number / value, 26 data rows
    QTableView* VLE_RW = nullptr;              // usage of each row's register: R, W, * (published)
    QComboBox* ComboBoxAddress = nullptr;      // start address, list items every tenth register
    QComboBox* ComboBoxUID = nullptr;          // unit identifier the server answers to, 0 = any
    TypedLengthLimit* addressLimit_ = nullptr; // 5 typed characters, 4 while registers are hex
    bool boxByProgram_ = false;                // the list itself is rewriting the start-address box
    QGroupBox* addressGroup_ = nullptr;        // "Start Address"
    QGroupBox* uidGroup_ = nullptr;            // "UID"
    QGroupBox* typeGroup_ = nullptr;           // "Type Shown"
    QRadioButton* RBInput = nullptr;
    QRadioButton* RBHold = nullptr;
    QGroupBox* RG4 = nullptr; // hidden mode group: "Edit" (0) or "Monitor" (1)
    QRadioButton* RG4Edit = nullptr;
    QRadioButton* RG4Monitor = nullptr;

    QAction* Edit1 = nullptr;            // Edit > Value List > Edit
    QAction* Monitor1 = nullptr;         // Edit > Value List > Monitor
    QAction* Copytoclipboard1 = nullptr; // Edit > Value List > Copy
    QAction* Setregister2 = nullptr;     // Edit > Set Register Value
    QAction* Setregister1 = nullptr;     // tray menu: Set register value
    QAction* Showregistersathex = nullptr;
    QAction* ShowHex = nullptr;

    RwColumnMenu* rwMenu_ = nullptr; // R/W column: Read, Write, Hide/Show Client

    QTimer* Timer2 = nullptr;        // register list refresh, 501 ms
    QTimer* UpdateMeTimer = nullptr; // delayed redraw, 3000 ms, once
};

} // namespace korvel
