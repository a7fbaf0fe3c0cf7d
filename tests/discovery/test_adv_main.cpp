// The camera selection window as the user sees it: the list widget, the empty-list panel
// and the count follow the search session's merging, sorting, ageing and selection; OK and
// Cancel hand the choice back; closing hides until the window is told to tear down.

#include "DiscoveryTestUtil.h"
#include "discovery/Adv_Main.h"
#include "discovery/ThemeLabel.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/QtText.h"
#include "platform/Host.h"
#include "support/Netns.h"
#include "support/QtTestHost.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <set>

using namespace torvane;

namespace {

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "adv_main_tests";
        static char* argv[] = {name, nullptr};
        FApp = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { FApp.reset(); }

private:
    std::unique_ptr<QApplication> FApp;
};

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

// Probes go to a port nobody listens on and the listeners sit on free high ports, so
// nothing but the test's own datagrams reaches the list; the timer is left to the test.
class AdvMain : public ::testing::Test {
protected:
    void SetUp() override {
        SetBroadcastAddress("127.0.0.1");
        platform::SetHost(&FHost);
        FPacks = std::make_unique<TfrmStrRes>();
        SetLanguage("en");
        const std::uint16_t nowhere = test::FreeUdpPort();
        TDiscoveryPorts ports;
        ports.MOIListenerBase = ports.SQ610ListenerBase = ports.UicamListenerBase =
            ports.CTPListenerBase = ports.Listener1010Base = test::FreeUdpPort();
        ports.SQ610To = ports.MOITo = ports.UicamTo = ports.CTPTo = ports.To1010 =
            ports.ImagiaTo = ports.T924To = nowhere;
        FDialog = std::make_unique<TfrmAdv_Main>(ports, "/nonexistent/libDVSNETClient.so");
        FDialog->Timer1->stop();
    }
    void TearDown() override {
        if (FDialog) {
            FDialog->SetisClose(true);
            FDialog.reset();
        }
        FPacks.reset();
        platform::SetHost(nullptr);
    }

    [[nodiscard]] QStringList Row(int i) const {
        const QTreeWidgetItem* item = FDialog->ListView->topLevelItem(i);
        QStringList texts;
        for (int c = 0; c < 4; ++c) {
            texts << item->text(c);
        }
        return texts;
    }
    [[nodiscard]] int SelectedRow() const {
        const auto selected = FDialog->ListView->selectedItems();
        return selected.isEmpty() ? -1 : FDialog->ListView->indexOfTopLevelItem(selected[0]);
    }
    [[nodiscard]] QString Count() const { return FDialog->lblDevNum->Caption(); }

    test::TQtTestHost FHost;
    std::unique_ptr<TfrmStrRes> FPacks;
    std::unique_ptr<TfrmAdv_Main> FDialog;
};

} // namespace

TEST_F(AdvMain, TheListFollowsMergingSortingAndAgeing) {
    TfrmAdv_Main& d = *FDialog;
    // The design: a fixed 381 x 359 dialog with a minimise box and no maximise box, a
    // read-only one-row-at-most list with its Name and IP address columns 100 and 120
    // pixels wide, and the 229 x 95 empty-list panel.
    EXPECT_EQ(d.size(), QSize(381, 359));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.ListView->columnCount(), 4);
    EXPECT_EQ(d.ListView->columnWidth(1), 100);
    EXPECT_EQ(d.ListView->columnWidth(2), 120);
    EXPECT_EQ(d.ListView->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(d.ListView->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(d.ListView->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(d.plInfo->size(), QSize(229, 95));
    EXPECT_EQ(d.Timer1->interval(), 1000);
    EXPECT_EQ(d.Session().SortColumn(), TDiscoverySession::ColumnIP);
    EXPECT_TRUE(d.Session().SortAsc());
    EXPECT_EQ(d.Session().TickCount(), 0);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Select IP Camera"));
    const auto* frame = d.findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->title(), QStringLiteral("IP Camera List"));
    EXPECT_EQ(d.ListView->headerItem()->text(2), QStringLiteral("IP address"));
    EXPECT_EQ(d.ListView->topLevelItemCount(), 0);
    EXPECT_FALSE(d.plInfo->isHidden());
    EXPECT_EQ(d.plInfo->Caption(), QStringLiteral("There is no camera found in the LAN."));
    EXPECT_EQ(Count(), QStringLiteral("IPCam Number:0"));

    // The first camera becomes selected; a second one sorts before it by its address,
    // numerically (.9 before .10), and the selection stays with the first.
    d.Session().HandleDatagram(test::MoiReply("MOI1", "cam-b", 10));
    EXPECT_EQ(SelectedRow(), 0);
    d.Session().HandleDatagram(test::MoiReply("MOI2", "cam-a", 9));
    ASSERT_EQ(d.ListView->topLevelItemCount(), 2);
    EXPECT_EQ(Row(0), (QStringList{"F", "cam-a", "192.168.1.9", "8080"}));
    EXPECT_EQ(Row(1), (QStringList{"F", "cam-b", "192.168.1.10", "8080"}));
    EXPECT_EQ(SelectedRow(), 1);
    EXPECT_TRUE(d.plInfo->isHidden());
    EXPECT_EQ(Count(), QStringLiteral("IPCam Number:2"));

    // A pick in the list is the session's selection; a header click re-sorts and the
    // selection goes with its camera.
    d.ListView->setCurrentItem(d.ListView->topLevelItem(0));
    EXPECT_EQ(d.Session().SelectedIndex(), 0);
    emit d.ListView->header()->sectionClicked(2);
    EXPECT_EQ(Row(0)[2], QStringLiteral("192.168.1.10"));
    EXPECT_EQ(SelectedRow(), 1);
    EXPECT_EQ(Row(SelectedRow())[1], QStringLiteral("cam-a"));
    emit d.ListView->header()->sectionClicked(1);
    EXPECT_EQ(Row(0)[1], QStringLiteral("cam-a"));

    // A changed name shows at once; an unchanged repeat only renews the camera's life.
    d.Session().HandleDatagram(test::MoiReply("MOI1", "renamed", 10));
    EXPECT_EQ(Row(1)[1], QStringLiteral("renamed"));
    for (int tick = 0; tick < 9; ++tick) {
        d.Timer1Timer();
        if (tick == 4) {
            d.Session().HandleDatagram(test::MoiReply("MOI2", "cam-a", 9));
        }
    }
    // After nine ticks cam "renamed" (MOI1) has one tick left, MOI2 six.
    ASSERT_EQ(d.ListView->topLevelItemCount(), 2);
    d.Timer1Timer();
    ASSERT_EQ(d.ListView->topLevelItemCount(), 1);
    EXPECT_EQ(Row(0)[1], QStringLiteral("cam-a"));
    EXPECT_EQ(Count(), QStringLiteral("IPCam Number:1"));
    EXPECT_EQ(SelectedRow(), 0);
    for (int tick = 0; tick < 5; ++tick) {
        d.Timer1Timer();
    }
    EXPECT_EQ(d.ListView->topLevelItemCount(), 0);
    EXPECT_FALSE(d.plInfo->isHidden());
    EXPECT_EQ(Count(), QStringLiteral("IPCam Number:0"));

    // Find starts again from an empty list.
    d.Session().HandleDatagram(test::MoiReply("MOI3", "cam-c", 11));
    d.btnFindClick();
    EXPECT_EQ(d.ListView->topLevelItemCount(), 0);
}

TEST_F(AdvMain, OkCancelAndClosing) {
    TfrmAdv_Main& d = *FDialog;
    d.Session().HandleDatagram(test::MoiReply("MOI1", "cam", 10));
    d.show();
    // Only OK hands a camera back: a double click on a row closes nothing.
    emit d.ListView->itemDoubleClicked(d.ListView->topLevelItem(0), 1);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.szIP(), "");
    d.spbExportClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.szIP(), "192.168.1.10");
    EXPECT_EQ(d.nPort(), 8080);
    EXPECT_EQ(d.nTYpe(), 1) << "an MO_I camera is of the F series";

    // OK without a selection is Cancel with an empty choice.
    d.show();
    d.ListView->clearSelection();
    EXPECT_EQ(d.Session().SelectedIndex(), -1);
    d.spbExportClick();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(d.szIP(), "");
    EXPECT_EQ(d.nPort(), 0);
    EXPECT_EQ(d.nTYpe(), -1);

    // Closing only hides: the list and the search stay.
    d.show();
    d.Timer1->start();
    EXPECT_TRUE(d.close());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.ListView->topLevelItemCount(), 1);
    EXPECT_TRUE(d.Timer1->isActive());
    d.show();
    EXPECT_EQ(d.ListView->topLevelItemCount(), 1) << "showing again keeps the list";

    // Told to, closing tears the search down.
    d.SetisClose(true);
    d.close();
    EXPECT_FALSE(d.Timer1->isActive());
    EXPECT_EQ(d.ListView->topLevelItemCount(), 0);
}

// On a PC with two networks and the default route on the first (namespaces this test
// builds), the window with its usual ports and the default "auto" lists the cameras of both
// networks, in its usual four columns.
TEST_F(AdvMain, ListsTheCamerasOfEveryNetwork) {
    test::TTwoNetworkLab lab;
    ASSERT_TRUE(lab.Ok()) << lab.Error();
    test::TNetnsCamera cameraA(lab.CamA(), "a", test::TTwoNetworkLab::CameraA);
    test::TNetnsCamera cameraB(lab.CamB(), "b", test::TTwoNetworkLab::CameraB);
    ASSERT_TRUE(cameraA.Ok() && cameraB.Ok()) << cameraA.Error() << cameraB.Error();
    std::set<QString> rows;
    {
        test::TNetnsScope inPc(lab.Pc());
        ASSERT_TRUE(inPc.Ok());
        SetBroadcastAddress("auto");
        auto dialog = std::make_unique<TfrmAdv_Main>(TDiscoveryPorts{},
                                                     "/nonexistent/libDVSNETClient.so");
        QElapsedTimer waited;
        waited.start();
        while (dialog->ListView->topLevelItemCount() < 6 && waited.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        EXPECT_EQ(dialog->ListView->columnCount(), 4);
        for (int i = 0; i < dialog->ListView->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = dialog->ListView->topLevelItem(i);
            rows.insert(item->text(0) + " " + item->text(1) + " " + item->text(2) + " " +
                        item->text(3));
        }
        dialog->SetisClose(true);
        dialog.reset();
        SetBroadcastAddress("127.0.0.1");
    }
    EXPECT_EQ(rows, (std::set<QString>{"F a-moi 198.18.1.2 8080", "E a-ctp 198.18.1.2 81",
                                       "T a-t 198.18.1.2 81", "F b-moi 198.18.2.2 8080",
                                       "E b-ctp 198.18.2.2 81", "T b-t 198.18.2.2 81"}));
}
