#pragma once
// frmQuiltwright: the one window's controls, as state objects, and its handlers. It holds all
// of the program's logic and no widget: src/ui shows it, the batch tool drives it unseen, the
// tests drive both. Handlers are defined next to the subsystem they belong to:
// viewport (form/Viewport.cpp), discovery (discovery/GetContents.cpp), composition
// (compose/Combine.cpp, compose/PaintCell.cpp) and output (output/Save.cpp).

#include "form/FormHost.h"
#include "toolkit/Controls.h"
#include "toolkit/DriveAndDir.h"
#include "toolkit/ListBox.h"
#include "toolkit/Picture.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Text.h"

#include <string>
#include <vector>

namespace discovery {
class DirectoryEnumerator;
}

class frmQuiltwright {
public:
    // drives: the drive list's entries; startFolder: the folder the folder list opens.
    explicit frmQuiltwright(std::vector<tk::DriveEntry> drives = tk::Drives::mounted(),
                            std::string startFolder = currentFolder());
    frmQuiltwright(const frmQuiltwright&) = delete;
    frmQuiltwright& operator=(const frmQuiltwright&) = delete;

    static constexpr const char* kCaption = "Kestrune Quiltwright";
    static constexpr float kClientWidth = 10110;   // twips
    static constexpr float kClientHeight = 5925;

    tk::Drives drives;
    tk::ListBox piclist{QStringLiteral("piclist"), 0};
    tk::DriveListBox drv{QStringLiteral("drv"), 1, drives};
    tk::DirListBox dir{QStringLiteral("dir"), 2, drives};
    tk::CommandButton cmdGetContents{QStringLiteral("cmdGetContents"), 3};
    tk::CommandButton cmdCombine{QStringLiteral("cmdCombine"), 4};
    tk::CommandButton cmdSave{QStringLiteral("cmdSave"), 5};
    tk::PictureBox picContainer{QStringLiteral("picContainer"), 6};
    tk::PictureBox picMain{QStringLiteral("picMain"), 7};
    tk::ScrollBar HScr{QStringLiteral("HScr"), 8, tk::ScrollBar::Orientation::Horizontal};
    tk::ScrollBar VScr{QStringLiteral("VScr"), 9, tk::ScrollBar::Orientation::Vertical};
    tk::TextBox txtWidth{QStringLiteral("txtWidth"), 10};
    tk::TextBox txtHeight{QStringLiteral("txtHeight"), 11};
    tk::Label lblWidth{QStringLiteral("lblWidth"), 12};
    tk::Label lblHeight{QStringLiteral("lblHeight"), 13};
    tk::CheckBox chkDropFloor{QStringLiteral("chkDropFloor"), 14};
    tk::PictureBox tmpPic{QStringLiteral("tmpPic"), 15};

    // The threads Combine paints on and Save writes with: 0 for every core the process may use.
    int Jobs = 0;
    int threads() const;

    // Every control, in tab order.
    std::vector<tk::Control*> controls();

    void setHost(FormHost* host) { m_host = host; }
    FormHost& host() { return *m_host; }
    // The folder enumeration FindFiles uses (the real file system unless a test says otherwise).
    void setEnumerator(discovery::DirectoryEnumerator* enumerator) { m_enumerator = enumerator; }

    // Raises the window's Load event.
    void Load();

    // Handlers.
    void Form_Load();
    void drv_Change();
    void cmdGetContents_Click();
    void cmdCombine_Click();
    void cmdSave_Click();
    void HScr_Change();
    void HScr_Scroll();
    void VScr_Change();
    void VScr_Scroll();

    // Appends to colFilesFound the full path of every file below strRootFolder whose name
    // matches strFile (case ignored) in a folder whose path matches strFolder; strRootFolder
    // gets its trailing "/".
    void FindFiles(std::string& strRootFolder, const std::string& strFolder, const std::string& strFile,
                   tk::Collection& colFilesFound);

    // The process's current folder ("/" when it has none).
    static std::string currentFolder();

    // Writes the canvas's whole persistent image as a bitmap file at target, safely.
    void saveCanvas(const std::string& target);
    // When set, Combine hands it the canvas and how many of its rows, from the top, are painted
    // for good, as they become so (on the thread that runs Combine).
    std::function<void(const bmp::Image& canvas, int64_t rows)> rowsPainted;

    // The listed files Combine paints, in list order: all but the program's own output.
    std::vector<std::string> picturesToPaint();

private:
    void PaintCell(const tk::Picture& picture, tk::PictureBox& target, float x, float y, float cellWidth,
                   float cellHeight);
    void setUpCanvas(float layoutWidth, float layoutHeight);
    const bmp::Image& canvasToSave();  // throws when there is nothing to save

    FormHost* m_host;
    discovery::DirectoryEnumerator* m_enumerator = nullptr;
    std::vector<UnreadFolder> m_unread;  // what the running Get Contents could not read
};
