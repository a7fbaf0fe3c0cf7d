// What the three shipped language packs hold: every window text and message of the "en",
// "cn" and "b5" packs, read back through the embedded packs and the lookup routines.

#include "i18n/StrRes.h"
#include "i18n/StrResource.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace torvane {
namespace {

struct PackText {
    const char* section;
    const char* key;
    // The texts as stored in each pack, escapes included.
    const char* en;
    const char* cn;
    const char* b5;
};

// Every entry whose text is fixed, in the packs' order. The texts written freely for each
// pack (the introduction, the instructions, the copyright line, the single-instance
// warning) are checked separately below.
const PackText kPackTexts[] = {
    {"Form_frmTorvane", "Caption", "The upgrade software for IP Cam, Version1.1",
     "网络摄像机系统升级软件 Ver1.1", "網路攝像機系統升級軟體Ver1.1"},
    {"Form_frmTorvane", "lblSoftName.Caption", "T", "网", "網"},
    {"Form_frmTorvane", "lblIPCType.Caption", "IP Cam Type：", "摄像机类别：", "攝像機類別："},
    {"Form_frmTorvane", "lblIPCUser.Caption", "Account:", "摄像机帐号：", "攝像機帳號："},
    {"Form_frmTorvane", "lblIPCPwd.Caption", "Password:", "摄像机密码：", "攝像機密碼："},
    {"Form_frmTorvane", "cmbMType.Items0.Caption", "E series", "E系列", "E系列"},
    {"Form_frmTorvane", "cmbMType.Items1.Caption", "F series", "F系列", "F系列"},
    {"Form_frmTorvane", "cmbMType.Items2.Caption", "H series", "H系列", "H系列"},
    {"Form_frmTorvane", "cmbMType.Items3.Caption", "T series", "T系列", "T系列"},
    {"Form_frmTorvane", "TabSheet1.Caption", "Use the IP address to Upgrade rom",
     "通过IP地址升级固件", "通過IP地址升級固件"},
    {"Form_frmTorvane", "TabSheet2.Caption", "Use the device code to upgrade rom",
     "通过机身编码升级固件", "通過機身編碼升級固件"},
    {"Form_frmTorvane", "lblIPCIP.Caption", "IP address:", "摄像机IP：", "攝像機IP："},
    {"Form_frmTorvane", "lblIPCPort.Caption", "Port:", "端口：", "埠："},
    {"Form_frmTorvane", "btnUpgrdUIByIP.Caption", "Upgrade UI", "升级界面固件", "升級介面固件"},
    {"Form_frmTorvane", "btnUpgrdSysByIP.Caption", "Upgrade Firmware", "升级固件", "升級固件"},
    {"Form_frmTorvane", "lblmCode.Caption", "Device code:", "机身编码：", "機身編碼："},
    {"Form_frmTorvane", "btnUpgrdUIByMCode.Caption", "Upgrade UI", "升级界面固件", "升級介面固件"},
    {"Form_frmTorvane", "btnUpgrdSysByMCode.Caption", "Upgrade Firmware", "升级固件", "升級固件"},
    {"Form_frmTorvane", "GroupBox3.Caption", "Operation Log", "操作日志", "操作日誌"},
    {"Form_frmTorvane", "btnFindCam.Caption", "Search LAN IP camera", "查找局域网摄像机",
     "查找局域網攝像機"},
    {"Form_frmTorvane", "Label1.Caption", "Language:", "语言：", "語言："},
    {"Form_frmAdv_Main", "Caption", "Select IP Camera", "选择摄像机", "選擇攝像機"},
    {"Form_frmAdv_Main", "btnOK.Caption", "&OK", "确定(&O)", "確定(&O)"},
    {"Form_frmAdv_Main", "btnCancel.Caption", "&Cancel", "取消(&C)", "取消(&C)"},
    {"Form_frmAdv_Main", "btnFind.Caption", "&Find", "查找(&F)", "查找(&F)"},
    {"Form_frmAdv_Main", "GroupBox1.Caption", "IP Camera List", "设备列表", "設備列表"},
    {"Form_frmAdv_Main", "lblDevNum.Caption", "IPCamera Number：", "设备数量：", "設備數量："},
    {"Form_frmAdv_Main", "ListView.Columns0.Caption", "Type", "系列", "系列"},
    {"Form_frmAdv_Main", "ListView.Columns1.Caption", "Name", "名称", "名稱"},
    {"Form_frmAdv_Main", "ListView.Columns2.Caption", "IP address", "IP地址", "IP地址"},
    {"Form_frmAdv_Main", "ListView.Columns3.Caption", "Port", "端口", "埠"},
    {"Form_frmAdv_Main", "plInfo.Caption", "There is no camera found in the LAN.",
     "没有发现局域网内的摄像机", "沒有發現局域網內的攝像機"},
    {"StrRes", "IDS_SOFTMEMO",
     "$b$b$bhe upgrade software for IP Cam Version1.1, You can use this software to upgrade"
     " the user interface rom and system rom.The user interface rom is a package which cons"
     "ists of functions used for the interactive between$n     users and IP Cam.The system "
     "rom is a package which consists of the basic and important functions the IP Cam provi"
     "ded.Notice: Upgrading is a risky job!",
     "$b$b$b络摄像机系统升级软件 Ver1.1，可以自动完成界面固件包和系统固件的升级。界面固件是"
     "网络摄像机人机交互界面相关功能的固件包；系统固件是网格摄像机提供基本功能实现系统级固"
     "件包。注意:升级有一定风险!",
     "$b$b$b$b$b$b路攝像機系統升級軟體Ver1.1，可以自動完成介面固件包和系統固件的升級。介面"
     "固件是網路攝像機人機交互介面相關功能的固件包；系統固件是網格攝像機提供基本功能實現系"
     "統級固件包。注意:升級有一定風險!"},
    {"StrRes", "IDS_ERROR", "ERROR", "错误", "錯誤"},
    {"StrRes", "IDS_WARNING", "WARNING", "警告", "警告"},
    {"StrRes", "IDS_CONFIRM", "CONFIRM", "确认", "確認"},
    {"StrRes", "IDS_INFORMATION", "INFORMATION", "提醒", "提醒"},
    {"StrRes", "IDS_NOIPCTYPE", "Please choose device type!", "请选择设备类型!", "請選擇設備類型!"},
    {"StrRes", "IDS_NOLOGINUSER", "User cannot by empty!", "登录用户名不能为空!",
     "登錄用戶名不能為空!"},
    {"StrRes", "IDS_NOMCODE", "Please input the device code", "请输入机身编码!", "請輸入機身編碼!"},
    {"StrRes", "IDS_READIPCERROR", "Error on reading the device information!", "读取设备信息出错!",
     "讀取設備資訊出錯!"},
    {"StrRes", "IDS_NOIPADDR", "The IP address cannot be empty!", "IP地址不能为空!",
     "IP位址不能為空!"},
    {"StrRes", "IDS_NOPORT", "Please input a valid port.", "请输入有效的端口值!",
     "請輸入有效的埠值!"},
    {"StrRes", "IDS_PORTERROR", "Port is error!", "端口不对", "埠不對"},
    {"StrRes", "IDS_NOWEBCONNECT",
     "Failed on getting configuration files, please check if the pc already connect to Inte"
     "rnet.",
     "获取配置文件失败,请检查当前计算机是否已连接因特网!",
     "獲取配置檔失敗,請檢查當前電腦是否已連接網際網路!"},
    {"StrRes", "IDS_NOIPCCONNECT",
     "IP Cam cannot be accessed, please check the device to make sure it work correctly.",
     "网络摄像机不能访问,请检查设备是否正常!", "網路攝像機不能訪問,請檢查設備是否正常!"},
    {"StrRes", "IDS_PASSWORDERROR", "Login name or password is wrong!", "登陆用户名或密码错误！",
     "登陸用戶名或密碼錯誤！"},
    {"StrRes", "IDS_IPCCONNECTED", "Device connected normally", "设备连接正常", "設備連接正常"},
    {"StrRes", "IDS_VERSIONERROR", "Failed on reading present version information.",
     "读取当前固件版本信息失败!", "讀取當前固件版本資訊失敗!"},
    {"StrRes", "IDS_CURRVERSION",
     "The version of present device rom is :", "当前设备固件版本为:", "當前設備固件版本為:"},
    {"StrRes", "IDS_DOWNFIRMERR", "Failed to read version information of the latest rom.",
     "读取最新固件版本信息失败", "讀取最新固件版本資訊失敗"},
    {"StrRes", "IDS_HIGHVERSION",
     "The version of latest  device rom is :", "最新设备固件版本为:", "最新設備固件版本為:"},
    {"StrRes", "IDS_ISUPDATEFIRM",
     "This version is already the latest one, do you still want to upgrade rom?",
     "已经是最新版本是否继续?", "已經是最新版本是否繼續?"},
    {"StrRes", "IDS_NOUPDATEFIRM", "It is the latest one, there is no need to upgrade !",
     "已经是最新版本不需要再升级！", "已經是最新版本不需要再升級！"},
    {"StrRes", "IDS_NONEWVERSION", "The version for upgrading is no available.",
     "没有找到可用的升级版本!", "沒有找到可用的升級版本!"},
    {"StrRes", "IDS_DOWNLOADING", "Downloading rom for upgrading...", "正在下载升级包...",
     "正在下載升級包..."},
    {"StrRes", "IDS_DOWNLOADERR", "Failed to get ROM for upgrading.", "升级包下载失败!",
     "昇級包下載失敗!"},
    {"StrRes", "IDS_MD5ERROR", "Update check failed!", "升级包校验失败！", "升級包校驗失敗！"},
    {"StrRes", "IDS_UNZIPERROR", "Upgrade package decompression failure!", "升级包解压失败！",
     "升級包解壓失敗！"},
    {"StrRes", "IDS_UNKNOWERROR", "Unknown causes gets update failed!",
     "未知原因造成获取升级包失败！", "未知原因造成穫取升級包失敗！"},
    {"StrRes", "IDS_UPGRADING",
     "Begin to upgrade device''s rom, please hold the connection of the device normally.",
     "开始更新设备固件,请保持设备连接正常...", "開始更新設備固件,請保持設備連接正常..."},
    {"StrRes", "IDS_UPGRADED",
     "Successfully upgrade ROM, it is going to reboot the device, please wait.....",
     "升成已完成,现正在重启设备,请稍候...", "升成已完成,現正在重啟設備,請稍候..."},
    {"StrRes", "IDS_IPCWORKING", "IP Cam is Working!", "网络摄像机已进入工作状态！",
     "網路攝像機已進入工作狀態！"},
    {"StrRes", "IDS_IPCNOTWORK",
     "Network camera reset aberrant, please check whether the camera is to restart the fail"
     "ed or IP changes!",
     "网络摄像机重启异常，请检查摄像机是否重启失败或IP出现变化！",
     "網路攝像機重啟異常，請檢查攝像機是否重啟失敗或IP出現變化！"},
    {"StrRes", "IDS_UPGRADEFILEERR", "Error on reading ROM for upgrade.", "读取升级文件出错!",
     "讀取升級檔出錯!"},
    {"StrRes", "IDS_UPGRADESUCC", "Successfully upgrading!", "升级成功", "升級成功"},
    {"StrRes", "IDS_UPGRADEFAIL", "Upgrade failed:", "升级出错:", "升級出錯:"},
    {"StrRes", "IDS_IPCCONNETERR", "IP camera connected failure!", "网络摄像机连接失败",
     "網路攝像機連接失敗"},
    {"StrRes", "IDS_UPGRADEFILEFAIL",
     "Upgrade file verification failed, please choose the correct upgrade file!",
     "升级文件校验失败，请选择正确的升级文件!", "升級檔校驗失敗，請選擇正確的升級檔!"},
    {"StrRes", "IDS_LOGINERROR", "IP camera login failed, please check the user and password!",
     "网络摄像机登陆失败，请检查用户及密码信息!", "網路攝像機登陸失敗，請檢查用戶及密碼資訊!"},
    {"StrRes", "IDS_EXITIPCERR", "IP camera exit current mode operation failed!",
     "网络摄像机退出当前模式操作失败！", "網路攝像機退出當前模式操作失敗！"},
    {"StrRes", "IDS_CLOSEIPCERROR", "Closed IP camera connection failed!",
     "关闭网络摄像机连接失败!", "關閉網路攝像機連接失敗!"},
    {"StrRes", "IDS_INITWSADATAERR", "WsaData initialization error!", "初始化WsaData出错!",
     "初始化WsaData出錯!"},
    {"StrRes", "IDS_CRTSOCKETERR", "Creates a Socket connection error!", "创建Socket连接出错!",
     "創建Socket連接出錯!"},
    {"StrRes", "IDS_NOTE",
     "Notice: Upgrading  ROM requires  the log-in users with highest privilege to process.",
     "注：升级固件需要最高权限帐号登录才能完成。", "注：升級固件需要最高許可權帳號登錄才能完成。"},
    {"StrRes", "IDS_UPGRADEINFO", "upgrading firmware, please wait.", "正在进行固件升级，请稍候!",
     "正在進行固件升級，請稍候!"},
    {"StrRes", "IDS_ENTERUPGRADEERR", "IP Camera access to upgrade the mode of failure!",
     "摄像机进入升级模式失败！", "攝像機進入升級模式失敗！"},
    {"StrRes", "IDS_DEVCOUNT", "IPCam Number:", "设备数量:", "???量："},
};

const char* const kLanguages[] = {"en", "cn", "b5"};

const char* TextFor(const PackText& entry, const std::string& lang) {
    if (lang == "en")
        return entry.en;
    if (lang == "cn")
        return entry.cn;
    return entry.b5;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    std::string result;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos;
         pos = hit + from.size())
        result.append(text, pos, hit - pos).append(to);
    result.append(text, pos, std::string::npos);
    text = result;
}

// The stored text as the lookup must hand it out.
std::string Unescaped(std::string text) {
    ReplaceAll(text, "$b", " ");
    ReplaceAll(text, "$c", "=");
    ReplaceAll(text, "$n", "\r\n");
    ReplaceAll(text, "$$", "$");
    ReplaceAll(text, "$t", "\t");
    return text;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t pos = text.find(part); pos != std::string::npos;
         pos = text.find(part, pos + part.size()))
        ++count;
    return count;
}

std::string Lookup(const std::string& section, const std::string& key) {
    return section == "StrRes" ? GetStrRes(key) : GetLangString(section, key);
}

TEST(PackContents, EveryFixedTextOfEachPackDecodesToItsText) {
    TfrmStrRes holder("pack_test");
    for (const char* lang : kLanguages) {
        SCOPED_TRACE(lang);
        SetLanguage(lang);
        ASSERT_EQ(CurrentLanguage(), lang);
        for (const PackText& entry : kPackTexts) {
            SCOPED_TRACE(std::string(entry.section) + "/" + entry.key);
            EXPECT_EQ(Lookup(entry.section, entry.key), Unescaped(TextFor(entry, lang)));
        }
    }

    // Spot checks of the escapes and of the oddities of the stored texts.
    SetLanguage("en");
    EXPECT_EQ(GetStrRes("IDS_SOFTMEMO").rfind("   he upgrade software", 0), 0u);
    EXPECT_NE(GetStrRes("IDS_SOFTMEMO").find("between\r\n     users and IP Cam."),
              std::string::npos);
    EXPECT_EQ(GetStrRes("IDS_UPGRADING").substr(0, 28), "Begin to upgrade device''s r");
    EXPECT_EQ(GetStrRes("IDS_HIGHVERSION"), "The version of latest  device rom is :");
    SetLanguage("cn");
    EXPECT_EQ(GetStrRes("IDS_DOWNLOADERR"), "升级包下载失败!");
    EXPECT_EQ(GetStrRes("IDS_SOFTMEMO").rfind("   络摄像机", 0), 0u);
    SetLanguage("b5");
    EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), "???量：");
    EXPECT_EQ(GetStrRes("IDS_SOFTMEMO").rfind("      路攝像機", 0), 0u);
}

TEST(PackContents, FreelyWrittenTextsArePresentInEachPack) {
    TfrmStrRes holder("pack_test");
    const std::string enIntro = Unescaped(
        "$b$b$bhe upgrade software for IP Cam Version1.1, Upgrade system rom automatically by "
        "using this tool.System rom is a package consisting basic and important functions IP "
        "Cam provided.Notice: Upgrading is risky, if having something unclear,please contact "
        "to our tech support---");
    struct Intro {
        const char* lang;
        const char* name;  // lblSoftName: the first character of the introduction
        std::string start; // lblSoftMemo: the blanks and the text that follow it
    };
    const Intro intros[] = {{"en", "T", enIntro},
                            {"cn", "网", "   络摄像机系统升级软件"},
                            {"b5", "網", "      路攝像機系統升級軟體"}};
    for (const Intro& intro : intros) {
        SCOPED_TRACE(intro.lang);
        SetLanguage(intro.lang);
        ASSERT_EQ(CurrentLanguage(), intro.lang);

        EXPECT_EQ(GetLangString("Form_frmTorvane", "lblSoftName.Caption"), intro.name);
        const std::string memo = GetLangString("Form_frmTorvane", "lblSoftMemo.Caption");
        EXPECT_EQ(memo.rfind(intro.start, 0), 0u) << memo;
        EXPECT_GT(memo.size(), intro.start.size()) << "no support contact after the text";

        const std::string ipMemo = GetLangString("Form_frmTorvane", "lblIPMemo.Caption");
        EXPECT_NE(ipMemo.find("135790"), std::string::npos) << ipMemo;
        EXPECT_NE(ipMemo.find("admin"), std::string::npos) << ipMemo;
        EXPECT_EQ(CountOf(ipMemo, "\r\n  "), 1u) << "two paragraphs expected: " << ipMemo;
        EXPECT_EQ(ipMemo.find('$'), std::string::npos) << ipMemo;

        const std::string codeMemo = GetLangString("Form_frmTorvane", "lblMCodeMemo.Caption");
        EXPECT_FALSE(codeMemo.empty());
        EXPECT_EQ(codeMemo.find('$'), std::string::npos) << codeMemo;

        EXPECT_FALSE(GetStrRes("IDS_VERSION").empty());

        const std::string running = GetStrRes("IDS_RUNNED");
        EXPECT_EQ(CountOf(running, "%s"), 1u) << running;
        EXPECT_EQ(CountOf(running, "%"), 1u) << running;
        EXPECT_GT(running.size(), 2u) << running;
    }
}

TEST(PackContents, GlobalSectionNamesTheLanguagesOfEachPack) {
    TfrmStrRes holder("pack_test");
    struct Names {
        const char* lang;
        const char* order;
        const char* en;
        const char* cn;
        const char* b5;
        const char* pl;
    };
    const Names packs[] = {{"en", "1", "English", "简体中文", "繁體中文", ""},
                           {"cn", "2", "English", "简体中文", "繁體中文", ""},
                           {"b5", "2", "EngLish", "簡體中文", "繁體中文", "Polski"}};
    for (const Names& names : packs) {
        SCOPED_TRACE(names.lang);
        SetLanguage(names.lang);
        ASSERT_EQ(CurrentLanguage(), names.lang);
        EXPECT_EQ(GetLangString("Global", "order"), names.order);
        EXPECT_EQ(GetGlobalName("en"), names.en);
        EXPECT_EQ(GetGlobalName("cn"), names.cn);
        EXPECT_EQ(GetGlobalName("b5"), names.b5);
        EXPECT_EQ(GetGlobalName("pl"), names.pl);
        EXPECT_EQ(GetGlobalName("jp"), "");
    }
}

} // namespace
} // namespace torvane
