#include "form/Form.h"

#include "storage/Links.h"
#include "toolkit/Errors.h"

#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace {

// Used until a window or the batch tool says how to show things: messages go nowhere.
class SilentHost : public FormHost {
public:
    void MsgBox(const QString&, int, const QString&) override {}
};

SilentHost g_silentHost;

}  // namespace

void FormHost::foldersNotRead(const std::vector<UnreadFolder>& folders) {
    constexpr size_t kMostNamed = 10;
    constexpr int kExclamation = 48;
    QString text = QStringLiteral("%1 could not be read, so the pictures in %2 are not in the list:")
                       .arg(folders.size() == 1 ? QStringLiteral("A folder") : QStringLiteral("%1 folders").arg(folders.size()),
                            folders.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    for (size_t i = 0; i < std::min(folders.size(), kMostNamed); ++i)
        text += QStringLiteral("\n%1 (%2)").arg(tk::displayPath(folders[i].path), QString::fromLocal8Bit(std::strerror(folders[i].error)));
    if (folders.size() > kMostNamed) text += QStringLiteral("\nand %1 more").arg(folders.size() - kMostNamed);
    MsgBox(text, kExclamation, QString::fromLatin1(frmQuiltwright::kCaption));
}

void LongCommand::report(const QString& text, int64_t done, int64_t total) {
    if (!m_host.reportProgress(text, done, total)) throw tk::Cancelled();
}

std::string frmQuiltwright::currentFolder() { return storage::currentFolder(); }

frmQuiltwright::frmQuiltwright(std::vector<tk::DriveEntry> driveEntries, std::string startFolder)
    : drives(std::move(driveEntries)), m_host(&g_silentHost) {
    piclist.Move(2520, 2880, 7455, 2400);
    piclist.Sorted = true;
    drv.Move(120, 2400, 2295, 315);
    dir.Move(120, 2880, 2295, 2340);
    cmdGetContents.Move(2520, 2400, 1575, 375);
    cmdGetContents.Caption = QStringLiteral("Get Contents");
    cmdCombine.Move(240, 5400, 2295, 375);
    cmdCombine.Caption = QStringLiteral("Combine");
    cmdCombine.setEnabled(false);
    cmdSave.Move(2640, 5400, 2295, 375);
    cmdSave.Caption = QStringLiteral("Save");
    cmdSave.setEnabled(false);
    picContainer.Move(120, 240, 9495, 1815);
    picMain.Move(120, 120, 9855, 2055);
    picMain.AutoRedraw = true;
    picMain.BackColor = 0;  // black
    HScr.Move(120, 2040, 9495, 255);
    HScr.setEnabled(false);
    VScr.Move(9600, 240, 255, 1815);
    VScr.setEnabled(false);
    txtWidth.Move(6480, 5520, 975, 285);
    txtWidth.setText(QStringLiteral("64"));
    txtHeight.Move(8520, 5520, 975, 285);
    txtHeight.setText(QStringLiteral("64"));
    lblWidth.Move(5520, 5520, 855, 255);
    lblWidth.Caption = QStringLiteral("Width:");
    lblHeight.Move(7560, 5520, 855, 255);
    lblHeight.Caption = QStringLiteral("Height:");
    chkDropFloor.Move(4560, 2400, 1935, 255);
    chkDropFloor.Caption = QStringLiteral("Drop to floor");
    tmpPic.Move(1320, 5880, 7695, 3375);
    tmpPic.setVisible(false);
    tmpPic.AutoRedraw = true;

    // The folder list opens the start folder (or the root, if it cannot), and the drive list
    // shows that folder's drive, without running drv_Change.
    try {
        dir.setPath(startFolder);
    } catch (const tk::Error&) {
        dir.setPath("/");
    }
    drv.selectWithoutEvent(drives.indexOf(dir.Path()));

    drv.Change = [this] { drv_Change(); };
    cmdGetContents.Click = [this] { cmdGetContents_Click(); };
    cmdCombine.Click = [this] { cmdCombine_Click(); };
    cmdSave.Click = [this] { cmdSave_Click(); };
    HScr.Change = [this] { HScr_Change(); };
    HScr.Scroll = [this] { HScr_Scroll(); };
    VScr.Change = [this] { VScr_Change(); };
    VScr.Scroll = [this] { VScr_Scroll(); };
}

std::vector<tk::Control*> frmQuiltwright::controls() {
    return {&piclist, &drv,     &dir,      &cmdGetContents, &cmdCombine, &cmdSave,  &picContainer, &picMain,
            &HScr,    &VScr,    &txtWidth, &txtHeight,      &lblWidth,   &lblHeight, &chkDropFloor, &tmpPic};
}

void frmQuiltwright::Load() {
    tk::raiseEvent([this] { Form_Load(); });
}

void frmQuiltwright::drv_Change() {
    const QString drive = drv.Drive();
    dir.setPath(QFile::encodeName(drive).toStdString());
}
