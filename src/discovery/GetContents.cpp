// Get Contents: fills the picture list with every bitmap below the open folder.

#include "discovery/FindFiles.h"
#include "form/Form.h"

void frmQuiltwright::cmdGetContents_Click() {
    piclist.Clear();
    std::string folder = dir.Path();  // a copy: the finder adds its trailing "/" here only
    tk::Collection found;
    try {
        FindFiles(folder, "*", "*.bmp", found);
    } catch (...) {
        cmdCombine.setEnabled(false);  // a walk that was cancelled or failed leaves the list empty
        throw;
    }
    if (found.Count() <= 0) {
        cmdCombine.setEnabled(false);
        return;
    }
    for (const std::string& path : found.items()) piclist.AddItem(path);
    cmdCombine.setEnabled(true);
}
