// The windows' layout: every control of the design tables stands at its place in every
// shipped language, inside its parent, over no other control, and with room for its text;
// the bands of the main window fill it without a gap.

#include "AppTestSupport.h"

#include "app/Settings.h"
#include "app/SettingsDesign.h"
#include "app/SiteUpgradeWindow.h"
#include "app/SiteUpgradeWindowDesign.h"
#include "app/Torvane_608Design.h"
#include "discovery/Adv_Main.h"
#include "discovery/Adv_MainDesign.h"
#include "discovery/ThemeLabel.h"
#include "i18n/StrRes.h"
#include "i18n/qt/FormLayout.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

using namespace torvane;
using namespace torvane::test;

namespace {

class Layout : public TAppTest {};

QString NameOf(std::string_view component) {
    return QString::fromLatin1(component.data(), static_cast<qsizetype>(component.size()));
}

// Why the control's text does not fit its place, or empty when it does.
std::string TextDoesNotFit(const QWidget& w) {
    const QFontMetrics metrics(w.font());
    if (const auto* button = qobject_cast<const QAbstractButton*>(&w)) {
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        // The button's frame and its padding take a few pixels on each side.
        constexpr int Padding = 8;
        if (metrics.horizontalAdvance(text) + Padding > w.width()) {
            return "button text \"" + FromQ(text) + "\" wider than " + std::to_string(w.width());
        }
    } else if (const auto* label = qobject_cast<const QLabel*>(&w)) {
        if (label->wordWrap() ? label->heightForWidth(w.width()) > w.height()
                              : label->sizeHint().width() > w.width()) {
            return "label text \"" + FromQ(label->text()) + "\" cut";
        }
    } else if (const auto* combo = qobject_cast<const QComboBox*>(&w)) {
        for (int i = 0; i < combo->count(); ++i) {
            // Room for the drop-down arrow besides the text.
            constexpr int Arrow = 24;
            if (metrics.horizontalAdvance(combo->itemText(i)) + Arrow > w.width()) {
                return "item \"" + FromQ(combo->itemText(i)) + "\" cut";
            }
        }
    } else if (const auto* theme = qobject_cast<const TThemeLabel*>(&w)) {
        if (theme->sizeHint().width() > w.width()) {
            return "text \"" + FromQ(theme->Caption()) + "\" cut";
        }
    }
    return {};
}

// Controls drawn over others by design: the list's frame, and the empty-list panel over
// the list. The count label's box reaches 3 pixels under the Find button; the label draws
// no background and its text ends well before, so nothing of it shows.
bool DesignedOverlap(const QWidget& a, const QWidget& b) {
    static const std::set<std::pair<QString, QString>> overlaps = {
        {QStringLiteral("GroupBox1"), QStringLiteral("ListView")},
        {QStringLiteral("GroupBox1"), QStringLiteral("plInfo")},
        {QStringLiteral("ListView"), QStringLiteral("plInfo")},
        {QStringLiteral("lblDevNum"), QStringLiteral("btnFind")}};
    return overlaps.count({a.objectName(), b.objectName()}) > 0 ||
           overlaps.count({b.objectName(), a.objectName()}) > 0;
}

// Checks one window against its design table; extra: controls that Qt layouts place
// (the entry strip), checked for room and overlaps only.
void CheckWindow(QWidget& form, std::span<const TPlace> places,
                 const std::vector<QWidget*>& extra, const std::string& language) {
    std::vector<QWidget*> controls = extra;
    for (const TPlace& place : places) {
        const QString name = NameOf(place.Component);
        const QList<QWidget*> found = form.findChildren<QWidget*>(name);
        ASSERT_EQ(found.size(), 1) << FromQ(name) << " must name one control of "
                                   << FromQ(form.objectName());
        QWidget* control = found[0];
        EXPECT_EQ(control->geometry(), place.Rect()) << FromQ(name) << " in " << language;
        controls.push_back(control);
    }
    for (QWidget* control : controls) {
        const std::string name = FromQ(control->objectName());
        EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()))
            << name << " outside its parent in " << language << ": " << control->x() << ","
            << control->y() << " " << control->width() << "x" << control->height() << " in "
            << control->parentWidget()->width() << "x" << control->parentWidget()->height();
        if (control->isHidden()) {
            continue;
        }
        EXPECT_EQ(TextDoesNotFit(*control), "") << name << " in " << language;
        for (QWidget* other : controls) {
            if (other == control || other->isHidden() ||
                other->parentWidget() != control->parentWidget() ||
                DesignedOverlap(*control, *other)) {
                continue;
            }
            EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                << name << " covers " << FromQ(other->objectName()) << " in " << language;
        }
    }
}

// The places as the windows were designed (the design headers derive them from a few
// measures; these are what the user sees, and a change of a measure must not move them).
constexpr TPlace DesignedMainWindow[] = {
    {"Image1", 581, 5, 200, 58},         {"lblSoftMemo", 10, 6, 542, 58},
    {"lblIPMemo", 12, 10, 560, 166},     {"btnFindCam", 590, 14, 185, 32},
    {"btnUpgrdSysByIP", 590, 56, 185, 32}, {"btnUpgrdUIByIP", 590, 98, 185, 32},
    {"Label1", 590, 146, 72, 22},        {"cmbLan", 666, 144, 109, 24},
    {"lblIPCType", 12, 150, 90, 22},     {"cmbMType", 106, 148, 120, 24},
    {"Panel2", 2, 179, 785, 54},         {"ProgressBar1", 12, 9, 200, 16},
    {"lblPhase", 220, 6, 362, 22},       {"btnSettings", 590, 2, 84, 28},
    {"btnSiteUpgrade", 680, 2, 95, 28}};
constexpr TPlace DesignedSettingsWindow[] = {
    {"lblServer", 10, 15, 150, 22},      {"edServer", 166, 14, 228, 24},
    {"btnBrowse", 400, 13, 90, 26},      {"lblServerNote", 166, 42, 324, 68},
    {"lblBroadcast", 10, 117, 150, 22},  {"cmbBroadcast", 166, 116, 324, 24},
    {"lblInterface", 10, 151, 150, 22},  {"cmbInterface", 166, 150, 324, 24},
    {"lblSearchNote", 166, 178, 324, 68}, {"btnOK", 324, 262, 80, 28},
    {"btnCancel", 410, 262, 80, 28}};
constexpr TPlace DesignedCameraDialog[] = {
    {"GroupBox1", 4, 0, 373, 312}, {"ListView", 10, 22, 361, 284}, {"plInfo", 76, 116, 229, 95},
    {"lblDevNum", 8, 321, 150, 24}, {"btnFind", 155, 317, 70, 30},  {"btnOK", 229, 317, 70, 30},
    {"btnCancel", 303, 317, 70, 30}};

} // namespace

TEST(DesignTables, KeepTheDesignedPlaces) {
    const auto same = [](std::span<const TPlace> table, std::span<const TPlace> designed) {
        ASSERT_EQ(table.size(), designed.size());
        for (const TPlace& place : designed) {
            const TPlace* row = FindPlace(table, place.Component);
            ASSERT_NE(row, nullptr) << place.Component;
            EXPECT_EQ(row->Rect(), place.Rect()) << place.Component;
        }
    };
    same(frmTorvaneDesign::Places, DesignedMainWindow);
    same(frmAdv_MainDesign::Places, DesignedCameraDialog);
    same(frmSettingsDesign::Places, DesignedSettingsWindow);
}

TEST_F(Layout, EveryControlKeepsItsPlaceAndShowsItsTextInEveryLanguage) {
    auto w = NewWindow();
    w->show();
    TfrmAdv_Main* d = w->CameraDialog();
    ASSERT_NE(d, nullptr);
    d->Timer1->stop();
    const std::vector<QWidget*> strip = {w->lblIPCIP,   w->edIP,  w->lblIPCPort, w->edPort,
                                         w->lblIPCUser, w->edAcc, w->lblIPCPwd,  w->edpwd};

    for (int i = 0; i < static_cast<int>(w->LanguageFiles().size()); ++i) {
        w->cmbLan->setCurrentIndex(i);
        w->cmbLanChange();
        const std::string language = CurrentLanguage();
        d->show();
        QApplication::processEvents();

        EXPECT_EQ(w->size(), frmTorvaneDesign::ClientSize);
        CheckWindow(*w, frmTorvaneDesign::Places, strip, language);
        // The strip's fields stand left to right in their order, each after its label.
        for (std::size_t k = 1; k < strip.size(); ++k) {
            EXPECT_LT(strip[k - 1]->geometry().right(), strip[k]->x()) << language;
        }
        // The bands fill the window from top to bottom; the log takes what is left.
        EXPECT_EQ(w->Panel1->geometry(), QRect(0, 0, 789, 69)) << language;
        EXPECT_EQ(w->Panel3->geometry(), QRect(0, 69, 789, 235)) << language;
        EXPECT_EQ(w->Panel4->geometry(), QRect(0, 304, 789, 34)) << language;
        EXPECT_EQ(w->GroupBox3->y(), 338) << language;
        EXPECT_EQ(w->GroupBox3->geometry().bottom() + 1, w->StatusBar1->y()) << language;
        EXPECT_EQ(w->StatusBar1->geometry().bottom() + 1, 607) << language;
        EXPECT_EQ(w->GroupBox3->width(), 789) << language;
        // The longest texts of the run band fit its label: every phase with the largest
        // amounts it may show.
        for (int phase = 0; phase <= static_cast<int>(EUpgradePhase::Proof); ++phase) {
            const auto p = static_cast<EUpgradePhase>(phase);
            const bool bytes = p == EUpgradePhase::Download || p == EUpgradePhase::Upload;
            const TProgress largest{p, bytes ? 1023ull << 20 : 99, bytes ? 1024ull << 20 : 99,
                                    99};
            w->lblPhase->setText(ToQ(ProgressText(largest)));
            EXPECT_EQ(TextDoesNotFit(*w->lblPhase), "") << language;
        }
        w->ClearProgress();

        EXPECT_EQ(d->size(), frmAdv_MainDesign::ClientSize);
        CheckWindow(*d, frmAdv_MainDesign::Places, {}, language);
        d->hide();

        TfrmSettings settings(w.get(), {"enp3s0", "wlp2s0"}, {"127.255.255.255"});
        settings.show();
        QApplication::processEvents();
        EXPECT_EQ(settings.size(), frmSettingsDesign::ClientSize);
        CheckWindow(settings, frmSettingsDesign::Places, {}, language);
    }
    EXPECT_EQ(w->LanguageFiles().size(), 3u);
}

TEST(PlaceComponents, PlacesNamedControlsAnywhereBelowTheFormAndReportsUnknownNames) {
    QWidget form;
    auto* frame = new QWidget(&form);
    frame->setObjectName(QStringLiteral("frame"));
    auto* inner = new QLabel(frame);
    inner->setObjectName(QStringLiteral("inner"));
    constexpr TPlace places[] = {
        {"frame", 1, 2, 300, 200}, {"inner", 5, 6, 70, 20}, {"misspelt", 0, 0, 10, 10}};

    const std::vector<std::string> missing = PlaceComponents(&form, places);
    EXPECT_EQ(missing, std::vector<std::string>{"misspelt"});
    EXPECT_EQ(frame->geometry(), QRect(1, 2, 300, 200));
    EXPECT_EQ(inner->geometry(), QRect(5, 6, 70, 20)) << "a control inside another";
    ASSERT_NE(FindPlace(places, "inner"), nullptr);
    EXPECT_EQ(FindPlace(places, "inner")->Right(), 75);
    EXPECT_EQ(FindPlace(places, "nothing"), nullptr);
}

TEST_F(Layout, TheSiteUpgradeWindowKeepsItsPlacesAndShowsItsTextsInEveryLanguage) {
    auto w = NewWindow();
    w->btnSiteUpgradeClick();
    TfrmSiteUpgrade* site = w->SiteWindow();
    ASSERT_NE(site, nullptr);
    // The strips' controls, which Qt layouts place inside their frames.
    std::vector<QWidget*> strips;
    for (QWidget* frame : {static_cast<QWidget*>(site->gbAdd), static_cast<QWidget*>(site->gbOptions)}) {
        for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            strips.push_back(child);
        }
    }
    EXPECT_EQ(strips.size(), 11u + 10u);

    for (int i = 0; i < static_cast<int>(w->LanguageFiles().size()); ++i) {
        w->cmbLan->setCurrentIndex(i);
        w->cmbLanChange();
        const std::string language = CurrentLanguage();
        QApplication::processEvents();
        EXPECT_EQ(site->size(), frmSiteUpgradeDesign::ClientSize);
        CheckWindow(*site, frmSiteUpgradeDesign::Places, strips, language);
        // Each strip ends inside its frame (a longer text must not push a field out).
        for (QWidget* control : strips) {
            EXPECT_LE(control->geometry().right(), control->parentWidget()->width() - 8)
                << FromQ(control->objectName()) << " in " << language;
        }
        // The column titles fit their columns.
        const QFontMetrics metrics(site->lvCameras->font());
        for (int c = 0; c + 1 < frmSiteUpgradeDesign::ColumnCount; ++c) {
            const QString title = site->lvCameras->headerItem()->text(c);
            EXPECT_LT(metrics.horizontalAdvance(title) + 12, site->lvCameras->columnWidth(c))
                << FromQ(title) << " in " << language;
        }
    }
}
