// The window translation: which component gets which texts and fonts, what a missing entry
// or section leaves, and the language font rules.

#include "AppTestSupport.h"

#include "app/JetControls.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "i18n/qt/FileDialogs.h"
#include "i18n/qt/Image.h"
#include "i18n/qt/LanguageFont.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/TranslateForm.h"
#include "platform/FileOps.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <fstream>

using namespace torvane;

namespace {

void WritePack(const std::string& code, const std::string& text) {
    std::ofstream(GetLanguageFileNameOf(code), std::ios::binary) << text;
}

template <class T>
T* Make(QObject* parent, const char* name) {
    T* o = new T(qobject_cast<QWidget*>(parent));
    o->setObjectName(QLatin1String(name));
    return o;
}

void SetPoints(QWidget* w, int points) {
    QFont f = w->font();
    f.setPointSize(points);
    w->setFont(f);
}

// A designed window with one component of most rows.
struct TTestForm {
    QWidget Window;
    QLabel* Label;
    QLabel* Escaped;
    TPanel* Panel;
    QPushButton* Button;
    QCheckBox* Check;
    QComboBox* Combo;
    QGroupBox* Group;
    TListView* List;
    QTreeWidget* Tree;
    TImage* Image;
    TJetButton* Jet;
    QTabWidget* Tabs;
    QWidget* Page;
    QMenu* Menu;
    QAction* Item;
    TSaveDialog* Save;
    QLineEdit* Edit;

    explicit TTestForm(const char* name) {
        Window.setObjectName(QLatin1String(name));
        Window.setWindowTitle(QStringLiteral("built-in"));
        Label = Make<QLabel>(&Window, "lblA");
        Label->setText(QStringLiteral("label"));
        SetPoints(Label, 9);
        Escaped = Make<QLabel>(&Window, "lblEsc");
        Escaped->setText(QStringLiteral("a$bb"));
        SetPoints(Escaped, 8);
        Panel = Make<TPanel>(&Window, "plInfo");
        Panel->SetCaption(QStringLiteral("panel"));
        Button = Make<QPushButton>(Panel, "btnB");
        Button->setText(QStringLiteral("button"));
        Button->setToolTip(QStringLiteral("tip"));
        Check = Make<QCheckBox>(&Window, "chkC");
        Check->setText(QStringLiteral("check"));
        Combo = Make<QComboBox>(&Window, "cmb");
        for (int i = 0; i < 5; ++i) {
            Combo->addItem(QStringLiteral("item%1").arg(i), i * 10);
        }
        Combo->setCurrentIndex(3);
        Group = Make<QGroupBox>(&Window, "grp");
        Group->setTitle(QStringLiteral("group"));
        List = Make<TListView>(&Window, "lv");
        List->setHeaderLabels({QStringLiteral("c0"), QStringLiteral("c1")});
        Tree = Make<QTreeWidget>(&Window, "tree");
        auto* root = new QTreeWidgetItem(Tree, {QStringLiteral("n0")});
        new QTreeWidgetItem(root, {QStringLiteral("n1")});
        new QTreeWidgetItem(Tree, {QStringLiteral("n2")});
        Image = Make<TImage>(&Window, "img");
        Image->setToolTip(QStringLiteral("picture"));
        Jet = Make<TJetButton>(&Window, "jet");
        Jet->setText(QStringLiteral("jet"));
        Tabs = Make<QTabWidget>(&Window, "tabs");
        Page = new QWidget;
        Page->setObjectName(QStringLiteral("TabSheet1"));
        Tabs->addTab(Page, QStringLiteral("page"));
        Menu = Make<QMenu>(&Window, "PopupMenu1");
        Item = new QAction(QStringLiteral("menu item"), Menu);
        Item->setObjectName(QStringLiteral("N1"));
        Menu->addAction(Item);
        Save = new TSaveDialog(&Window);
        Save->setObjectName(QStringLiteral("dlg"));
        Save->Filter = QStringLiteral("*.txt|*.*");
        Edit = Make<QLineEdit>(&Window, "edit");
        Edit->setText(QStringLiteral("typed"));
    }
};

class Translate : public test::TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        FHolder = std::make_unique<TfrmStrRes>();
        ASSERT_TRUE(FHolder->PacksWritten());
    }
    void TearDown() override {
        FHolder.reset();
        TAppTest::TearDown();
    }
    std::unique_ptr<TfrmStrRes> FHolder;
};

} // namespace

TEST_F(Translate, EachComponentGetsTheTextsOfItsRow) {
    WritePack("zz", "[Global]\r\nName_zz=Test\r\n[Form_frmTest]\r\nCaption=Window$bcaption\r\n"
                    "lblA.Caption=Alpha\r\nplInfo.Caption=Nothing found\r\n"
                    "btnB.Caption=&Go\r\nbtnB.Hint=Go now\r\nchkC.Caption=Checked\r\n"
                    "cmb.Items0.Caption=zero\r\ncmb.Items1.Caption=one\r\n"
                    "cmb.Items2.Caption=two\r\ncmb.Items3.Caption=three\r\n"
                    "grp.Caption=Group\r\nlv.Columns1.Caption=Name\r\n"
                    "tree.Items1.Text=child\r\ntree.Items2.Text=second\r\nimg.Hint=Logo\r\n"
                    "img.Caption=never\r\njet.Caption=Jet$$\r\njet.Hint=Jet hint\r\n"
                    "TabSheet1.Caption=Sheet\r\nN1.Caption=Clear\r\n"
                    "dlg.Filter=Text|*.txt|All|*.*\r\nedit.Caption=never\r\n");
    SetLanguage("zz");
    ASSERT_EQ(CurrentLanguage(), "zz");
    TTestForm form("frmTest");
    TranslateForm(&form.Window, "");

    EXPECT_EQ(form.Window.windowTitle(), QStringLiteral("Window caption"));
    EXPECT_EQ(form.Label->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(form.Panel->Caption(), QStringLiteral("Nothing found"));
    EXPECT_EQ(form.Button->text(), QStringLiteral("&Go"));
    EXPECT_EQ(form.Button->toolTip(), QStringLiteral("Go now"));
    EXPECT_EQ(form.Check->text(), QStringLiteral("Checked"));
    // Items are replaced in place: data and selection stay; the fifth keeps its text.
    const QStringList expected{"zero", "one", "two", "three", "item4"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form.Combo->itemText(i), expected[i]);
        EXPECT_EQ(form.Combo->itemData(i).toInt(), i * 10);
    }
    EXPECT_EQ(form.Combo->currentIndex(), 3);
    EXPECT_EQ(form.Group->title(), QStringLiteral("Group"));
    EXPECT_EQ(form.List->headerItem()->text(0), QStringLiteral("c0"));
    EXPECT_EQ(form.List->headerItem()->text(1), QStringLiteral("Name"));
    // Tree nodes count in overall order: n0, its child n1, then n2.
    EXPECT_EQ(form.Tree->topLevelItem(0)->text(0), QStringLiteral("n0"));
    EXPECT_EQ(form.Tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("child"));
    EXPECT_EQ(form.Tree->topLevelItem(1)->text(0), QStringLiteral("second"));
    EXPECT_EQ(form.Image->toolTip(), QStringLiteral("Logo"));
    EXPECT_EQ(form.Jet->text(), QStringLiteral("Jet$"));
    EXPECT_EQ(form.Jet->toolTip(), QStringLiteral("Jet hint"));
    EXPECT_EQ(form.Tabs->tabText(0), QStringLiteral("Sheet"));
    EXPECT_EQ(form.Item->text(), QStringLiteral("Clear"));
    EXPECT_EQ(form.Save->Filter, QStringLiteral("Text|*.txt|All|*.*"));
    EXPECT_EQ(TFileDialog::ToNameFilters(form.Save->Filter),
              (QStringList{QStringLiteral("Text (*.txt)"), QStringLiteral("All (*.*)")}));
    // Edit fields belong to no row.
    EXPECT_EQ(form.Edit->text(), QStringLiteral("typed"));
    // A built-in text passes through the escapes although it has no entry.
    EXPECT_EQ(form.Escaped->text(), QStringLiteral("a b"));

    // A language whose pack lacks the entries keeps the texts the last one gave.
    WritePack("yy", "[Global]\r\nName_yy=Other\r\n[Form_frmTest]\r\nchkC.Caption=Other\r\n");
    SetLanguage("yy");
    TranslateForm(&form.Window, "");
    EXPECT_EQ(form.Label->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(form.Check->text(), QStringLiteral("Other"));
    EXPECT_EQ(form.Combo->itemText(0), QStringLiteral("zero"));
}

TEST_F(Translate, AMissingSectionKeepsTextsAndStillSetsFonts) {
    SetLanguage("en");
    TTestForm form("frmNowhere");
    SetPoints(&form.Window, 9);
    TranslateForm(&form.Window, "");
    EXPECT_EQ(form.Window.windowTitle(), QStringLiteral("built-in"));
    EXPECT_EQ(form.Label->text(), QStringLiteral("label"));
    EXPECT_EQ(form.Combo->itemText(0), QStringLiteral("item0"));
    EXPECT_EQ(form.Button->toolTip(), QStringLiteral("tip"));
    EXPECT_EQ(form.Escaped->text(), QStringLiteral("a b"));
    EXPECT_EQ(form.Label->font().pointSize(), 8) << "9 points become 8 outside the Asian packs";
    EXPECT_EQ(form.Escaped->font().pointSize(), 8);
    EXPECT_EQ(form.Label->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(FontCharset(*form.Label), DEFAULT_CHARSET);

    // An explicit section name wins over the window's own name.
    TranslateForm(&form.Window, "frmTorvane");
    EXPECT_EQ(form.Window.windowTitle().toStdString(),
              GetLangString("Form_frmTorvane", "Caption"));

    SetLanguage("cn");
    TTestForm chinese("frmNowhere");
    SetPoints(chinese.Label, 8);
    SetPoints(chinese.Escaped, 9);
    TranslateForm(&chinese.Window, "");
    EXPECT_EQ(chinese.Label->font().pointSize(), 9) << "8 points become 9 in cn";
    EXPECT_EQ(chinese.Escaped->font().pointSize(), 9);
    EXPECT_EQ(chinese.Label->font().family(), QString::fromUtf8("宋体"));
    EXPECT_EQ(FontCharset(*chinese.Label), GB2312_CHARSET);
    // Components without a font row keep theirs untouched.
    EXPECT_FALSE(chinese.Image->property("charset").isValid());
    EXPECT_FALSE(chinese.Edit->property("charset").isValid());
}

TEST(LanguageFont, FaceCharsetAndSizeRules) {
    struct TCase {
        const char* Code;
        int From;
        int To;
        const char* Face;
        int Charset;
    };
    const TCase cases[] = {
        {"cn", 8, 9, "宋体", GB2312_CHARSET},      {"cn", 9, 9, "宋体", GB2312_CHARSET},
        {"b5", 8, 9, "PMingLiU", CHINESEBIG5_CHARSET}, {"jp", 8, 9, "Tahoma", SHIFTJIS_CHARSET},
        {"en", 9, 8, "Tahoma", DEFAULT_CHARSET},   {"en", 8, 8, "Tahoma", DEFAULT_CHARSET},
        {"fr", 9, 8, "Tahoma", DEFAULT_CHARSET},   {"en", 10, 10, "Tahoma", DEFAULT_CHARSET},
    };
    for (const TCase& c : cases) {
        QFont font(QStringLiteral("Courier"), c.From);
        EXPECT_EQ(SetLanguageFont(c.Code, font), c.Charset) << c.Code;
        EXPECT_EQ(font.family(), QString::fromUtf8(c.Face)) << c.Code;
        EXPECT_EQ(font.pointSize(), c.To) << c.Code << " from " << c.From;
    }
    // The Chinese faces are missing here; the text is drawn with a CJK font instead.
    QFont song(QString::fromUtf8("宋体"), 9);
    const QString used = QFontInfo(song).family();
    EXPECT_TRUE(used.contains(QLatin1String("CJK")) || used == QString::fromUtf8("宋体") ||
                used == QStringLiteral("SimSun"))
        << used.toStdString();
}

TEST(TranslateRows, ClassesAreTestedInTableOrder) {
    QWidget window;
    EXPECT_EQ(TranslateRowOf(new QStatusBar(&window)), 1);
    EXPECT_EQ(TranslateRowOf(new TPanel(&window)), 2) << "a panel is not a label";
    EXPECT_EQ(TranslateRowOf(new QLabel(&window)), 3);
    EXPECT_EQ(TranslateRowOf(new QFrame(&window)), 0) << "a plain frame is no panel";
    EXPECT_EQ(TranslateRowOf(new QCheckBox(&window)), 4);
    EXPECT_EQ(TranslateRowOf(new QPushButton(&window)), 5);
    auto* bar = new QToolBar(&window);
    EXPECT_EQ(TranslateRowOf(bar), 6);
    EXPECT_EQ(TranslateRowOf(new QToolButton(bar)), 7) << "a tool bar's button";
    EXPECT_EQ(TranslateRowOf(new TImage(&window)), 8);
    EXPECT_EQ(TranslateRowOf(new QToolButton(&window)), 9) << "a tool button elsewhere";
    EXPECT_EQ(TranslateRowOf(new QRadioButton(&window)), 10);
    EXPECT_EQ(TranslateRowOf(new QAction(&window)), 11);
    auto* tabs = new QTabWidget(&window);
    auto* page = new QWidget;
    tabs->addTab(page, QStringLiteral("page"));
    EXPECT_EQ(TranslateRowOf(page), 12);
    auto* labelPage = new QLabel;
    tabs->addTab(labelPage, QStringLiteral("label"));
    EXPECT_EQ(TranslateRowOf(labelPage), 3) << "a label is a label before it is a page";
    EXPECT_EQ(TranslateRowOf(new TRadioGroup(&window)), 14);
    EXPECT_EQ(TranslateRowOf(new QGroupBox(&window)), 13);
    EXPECT_EQ(TranslateRowOf(new TCheckListBox(&window)), 15);
    EXPECT_EQ(TranslateRowOf(new QListWidget(&window)), 16);
    EXPECT_EQ(TranslateRowOf(new TListView(&window)), 17);
    EXPECT_EQ(TranslateRowOf(new QTableView(&window)), 18);
    EXPECT_EQ(TranslateRowOf(new QTreeWidget(&window)), 19);
    EXPECT_EQ(TranslateRowOf(new QComboBox(&window)), 20);
    EXPECT_EQ(TranslateRowOf(new TJetButton(&window)), 21);
    EXPECT_EQ(TranslateRowOf(new TJetCheckbox(&window)), 22);
    EXPECT_EQ(TranslateRowOf(new TSaveDialog(&window)), 23);
    EXPECT_EQ(TranslateRowOf(new TOpenDialog(&window)), 24);
    EXPECT_EQ(TranslateRowOf(new QLineEdit(&window)), 0);
    EXPECT_EQ(TranslateRowOf(new QTimer(&window)), 0);
}

TEST(FileDialogTest, ANameWithoutExtensionTakesTheChosenTypesOne) {
    const QStringList types =
        TFileDialog::ToNameFilters(QStringLiteral("JSON (*.json)|*.json|CSV (*.csv)|*.csv|"
                                                  "Logs|*.log;*.txt|All|*.*|Any|*"));
    ASSERT_EQ(types.size(), 5);
    const QString fallback = QStringLiteral("json");
    EXPECT_EQ(TFileDialog::SuffixOfNameFilter(types[0], fallback), QStringLiteral("json"));
    EXPECT_EQ(TFileDialog::SuffixOfNameFilter(types[1], fallback), QStringLiteral("csv"));
    // The first usable pattern of several; none usable, or no pattern: the fallback.
    EXPECT_EQ(TFileDialog::SuffixOfNameFilter(types[2], fallback), QStringLiteral("log"));
    EXPECT_EQ(TFileDialog::SuffixOfNameFilter(types[3], fallback), fallback);
    EXPECT_EQ(TFileDialog::SuffixOfNameFilter(types[4], fallback), fallback);
    EXPECT_EQ(TFileDialog::SuffixOfNameFilter(QStringLiteral("broken (*.x"), fallback), fallback);
}

TEST(FileDialogTest, ChoosingAnotherTypeInTheDialogChangesTheExtensionAdded) {
    const std::string folder = test::ScratchPath("save-type");
    ASSERT_TRUE(platform::ForceFolder(folder));
    TSaveDialog save;
    save.Filter = QStringLiteral("JSON report|*.json|CSV report|*.csv");
    save.DefaultExt = QStringLiteral("json");
    save.FileName = QString::fromStdString(folder + "/report");
    // The user picks "CSV" in the dialog's list of types and saves under the name offered.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        // What a click on the second entry of the list does.
        types->setCurrentIndex(1);
        emit types->activated(1);
        emit types->textActivated(types->itemText(1));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    ASSERT_TRUE(save.Execute(nullptr));
    EXPECT_EQ(save.FileName.toStdString(), folder + "/report.csv");
}
