// A main window on a private atom folder and a free port, with message boxes captured, for the
// register list and set-value dialog tests.
#pragma once

#include "common/register_store.h"
#include "server/server_engine.h"
#include "shell/main_window.h"
#include "support/window_environment.h"
#include "ui/message_box.h"
#include "view/register_list_view.h"
#include "view/set_value_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTcpServer>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace korvel {

class ViewWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(env_.valid());
        store_ = std::make_unique<RegisterStore>();
        engine_ = std::make_unique<ServerEngine>(*store_);
        form_ = std::make_unique<TChatForm>(*store_, *engine_, QStringList{});
        list_ = form_->registerList();
        ASSERT_NE(list_, nullptr);
        form_->show();
        messages_.clear();
    }
    void TearDown() override { form_.reset(); }

    // What the list's views show in a cell.
    static QString shown(const QAbstractItemView* view, int row, int column)
    {
        return view->model()->index(row, column).data().toString();
    }
    QString label(int row) const { return shown(list_->vle(), row, 0); }
    QString value(int row) const { return shown(list_->vle(), row, 1); }
    QString rw(int row) const { return shown(list_->vleRW(), row, 0); }
    QLineEdit* box() const { return list_->startAddressBox()->lineEdit(); }

    // Empties the start-address box and types `text` key by key.
    void typeStartAddress(const QString& text)
    {
        box()->clear();
        QTest::keyClicks(box(), text);
    }

    void wheel(bool down)
    {
        QWidget* viewport = list_->vle()->viewport();
        const QPointF pos(20, 40);
        QWheelEvent event(pos, viewport->mapToGlobal(pos), QPoint(), QPoint(0, down ? -120 : 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    }

    QPoint cellCentre(int row, int column) const
    {
        return list_->vle()->visualRect(list_->vle()->model()->index(row, column)).center();
    }

    // Opens the cell editor as a user would (F2 on the selected cell), types and presses Enter.
    // Returns false when no editor opened (Monitor mode).
    bool editCell(int row, int column, const QString& text)
    {
        RegisterTable* vle = list_->vle();
        vle->setCurrentCell(row, column);
        QTest::keyClick(vle, Qt::Key_F2);
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : vle->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible())
                editor = e;
        if (editor == nullptr)
            return false;
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor commits after its key event
        return true;
    }

    // The dialogs the window owns, in creation order.
    std::vector<TfrmSetVal*> dialogs() const
    {
        std::vector<TfrmSetVal*> out;
        for (TfrmSetVal* d : form_->findChildren<TfrmSetVal*>(Qt::FindDirectChildrenOnly))
            out.push_back(d);
        return out;
    }

    // Lets the queued creation of requested dialogs run.
    void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    testing::WindowEnvironment env_;
    std::vector<ShownMessage>& messages_ = env_.messages;
    std::unique_ptr<RegisterStore> store_;
    std::unique_ptr<ServerEngine> engine_;
    std::unique_ptr<TChatForm> form_;
    RegisterListView* list_ = nullptr;
};

} // namespace korvel
