// Get Contents: fills the picture list with every bitmap below the open folder.

#include "discovery/FindFiles.h"
#include "form/Form.h"

#include <utility>

void frmQuiltwright::cmdGetContents_Click() {
    piclist.Clear();
    m_unread.clear();
    std::string folder = dir.Path();  // a copy: the finder adds its trailing "/" here only
    tk::Collection found;
    try {
        FindFiles(folder, "*", "*.bmp", found);
    } catch (...) {
        cmdCombine.setEnabled(false);  // a walk that was cancelled or failed leaves the list empty
        throw;
    }
    for (const std::string& path : found.items()) piclist.AddItem(path);
    cmdCombine.setEnabled(found.Count() > 0);
    // The list stands; then the folders it could not look into are named, once.
    if (!m_unread.empty()) host().foldersNotRead(std::exchange(m_unread, {}));
}
