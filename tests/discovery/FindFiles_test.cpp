// The recursive finder on real temporary trees and on a scripted enumeration order.

#include "discovery/FindFiles.h"
#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "toolkit/Picture.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Items = std::vector<std::string>;

Items find(std::string root, const std::string& folderPattern = "*", const std::string& filePattern = "*.bmp") {
    discovery::PosixEnumerator posix;
    discovery::Finder finder(posix);
    tk::Collection found;
    finder.FindFiles(root, folderPattern, filePattern, found);
    return found.items();
}

// Delivers each folder's entries in a scripted order; a name ending in "/" is a folder.
class ScriptedEnumerator : public discovery::DirectoryEnumerator {
public:
    std::map<std::string, Items> folders;  // path with trailing "/" -> entries
    std::map<std::string, uint64_t> ids;   // a folder's inode where two paths name one folder
    std::vector<std::string> opened;

    discovery::FindHandle FindFirstFile(const std::string& searchText, discovery::FindData& data,
                                        discovery::FolderId& id) override {
        const std::string folder = searchText.substr(0, searchText.size() - 1);  // without "*"
        opened.push_back(folder);
        const auto it = folders.find(folder);
        if (it == folders.end() || it->second.empty()) return discovery::kInvalidHandle;
        id = {1, ids.count(folder) ? ids[folder] : std::hash<std::string>{}(folder)};
        m_open.push_back({&it->second, 0});
        mostOpen = std::max(mostOpen, ++openNow);
        const discovery::FindHandle handle = static_cast<discovery::FindHandle>(m_open.size() - 1);
        FindNextFile(handle, data);
        return handle;
    }
    bool FindNextFile(discovery::FindHandle handle, discovery::FindData& data) override {
        auto& [entries, next] = m_open[static_cast<size_t>(handle)];
        if (next >= entries->size()) return false;
        std::string name = (*entries)[next++];
        const bool folder = name.back() == '/';
        if (folder) name.pop_back();
        data.fileName = name + std::string(3, '\0');  // a NUL-padded name field
        data.attributes = folder ? discovery::kFileAttributeDirectory : 0x20;
        return true;
    }
    void FindClose(discovery::FindHandle handle) override {
        m_open[static_cast<size_t>(handle)].first = nullptr;
        ++closed, --openNow;
    }
    int closed = 0;
    int openNow = 0, mostOpen = 0;  // folders open at once

private:
    std::vector<std::pair<const Items*, size_t>> m_open;
};

}  // namespace

TEST(FindFiles, folder_with_or_without_trailing_separator_gives_the_same_items) {
    TempTree tree({"pics/a.bmp", "pics/sub/deeper/b.bmp"});
    std::string root = tree.path("pics");
    const Items without = find(root);
    std::string withSlash = root + "/";
    EXPECT_EQ(find(withSlash), without);
    EXPECT_EQ(without.size(), 2u);
    for (const auto& item : without) EXPECT_EQ(item.find("//"), std::string::npos) << item;

    discovery::PosixEnumerator posix;
    discovery::Finder finder(posix);
    tk::Collection found;
    finder.FindFiles(root, "*", "*.bmp", found);
    EXPECT_EQ(root, tree.path("pics") + "/");  // the caller's variable gets its trailing "/"
}

TEST(FindFiles, names_ending_in_bmp_in_any_case_are_collected_and_nothing_else) {
    TempTree tree({"PHOTO.BMP", "x.Bmp", ".bmp", "a.bmp.bak", "a.bmpx", "bmp", "x.bmp/inside.bmp", ".hidden/h.bmp"});
    Items items = find(tree.root());
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (Items{tree.path(".bmp"), tree.path(".hidden/h.bmp"), tree.path("PHOTO.BMP"), tree.path("x.Bmp"),
                            tree.path("x.bmp/inside.bmp")}));
}

TEST(FindFiles, a_drive_root_gives_single_separators) {
    ScriptedEnumerator fake;
    fake.folders["/"] = {".", "..", "a.bmp", "sub/"};
    fake.folders["/sub/"] = {".", "..", "b.bmp"};
    discovery::Finder finder(fake);
    std::string root = "/";
    tk::Collection found;
    finder.FindFiles(root, "*", "*.bmp", found);
    EXPECT_EQ(found.items(), (Items{"/a.bmp", "/sub/b.bmp"}));
    EXPECT_EQ(fake.opened, (Items{"/", "/sub/"}));  // "." and ".." never walked into
    EXPECT_EQ(fake.closed, 2);
}

TEST(FindFiles, walk_is_depth_first_in_enumeration_order_after_what_the_collection_held) {
    ScriptedEnumerator fake;
    fake.folders["/p/"] = {".", "..", "a.bmp", "m/", "z.bmp"};
    fake.folders["/p/m/"] = {".", "..", "m1.bmp", "n/", "m2.bmp"};
    fake.folders["/p/m/n/"] = {".", "..", "n.bmp"};
    discovery::Finder finder(fake);
    std::string root = "/p";
    tk::Collection found;
    found.Add("earlier");
    finder.FindFiles(root, "*", "*.bmp", found);
    EXPECT_EQ(found.items(), (Items{"earlier", "/p/a.bmp", "/p/m/m1.bmp", "/p/m/n/n.bmp", "/p/m/m2.bmp", "/p/z.bmp"}));
    EXPECT_EQ(fake.mostOpen, 1);  // each folder closed before its subfolders are walked
}

TEST(FindFiles, folder_pattern_selects_folders_by_their_path_case_sensitively_but_all_are_walked) {
    TempTree tree({"a.bmp", "sprites/s.bmp", "Sprites/S.bmp", "x/sprites/t.bmp", "sprites/inner/u.bmp"});
    Items items = find(tree.root(), "*/sprites/");
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (Items{tree.path("sprites/s.bmp"), tree.path("x/sprites/t.bmp")}));
}

TEST(FindFiles, empty_missing_and_unreadable_folders_add_nothing_and_raise_nothing) {
    TempTree tree({"empty/", "file.bmp"});
    EXPECT_TRUE(find(tree.path("empty")).empty());
    EXPECT_TRUE(find(tree.path("missing")).empty());
    EXPECT_TRUE(find(tree.path("file.bmp")).empty());  // not a folder

    ScriptedEnumerator fake;  // a subfolder that cannot be enumerated
    fake.folders["/p/"] = {".", "..", "locked/", "a.bmp"};
    discovery::Finder finder(fake);
    std::string root = "/p";
    tk::Collection found;
    finder.FindFiles(root, "*", "*.bmp", found);
    EXPECT_EQ(found.items(), (Items{"/p/a.bmp"}));
}

TEST(FindFiles, links_to_folders_are_followed_as_find_L_follows_them_and_loops_end_at_an_ancestor) {
    TempTree tree({"pics/a.bmp", "pics/sub/b.bmp", "elsewhere/c.bmp", "elsewhere/deep/d.bmp"});
    tree.addLink("pics/sub/loop", tree.path("pics"));
    tree.addLink("pics/sub/self", ".");
    tree.addLink("pics/outside", tree.path("elsewhere"));
    tree.addLink("pics/again", tree.path("elsewhere"));
    tree.addLink("elsewhere/deep/up", "..");  // a loop met below a linked folder
    tree.addLink("pics/z", "sub");            // after the folder it names in any order
    Items items = find(tree.path("pics"));
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (Items{tree.path("pics/a.bmp"), tree.path("pics/again/c.bmp"), tree.path("pics/again/deep/d.bmp"),
                            tree.path("pics/outside/c.bmp"), tree.path("pics/outside/deep/d.bmp"), tree.path("pics/sub/b.bmp"),
                            tree.path("pics/z/b.bmp")}));
    // Whichever order the folder gives its entries, the same list: every path to every folder.
    ScriptedEnumerator fake;
    for (const bool linkFirst : {false, true}) {
        fake.folders["/p/"] = linkFirst ? Items{"z/", "a/", "m.bmp"} : Items{"a/", "m.bmp", "z/"};
        fake.folders["/p/a/"] = fake.folders["/p/z/"] = {"x.bmp"};
        fake.ids["/p/a/"] = fake.ids["/p/z/"] = 7;  // z is a link to a
        discovery::Finder finder(fake);
        std::string root = "/p";
        tk::Collection found;
        finder.FindFiles(root, "*", "*.bmp", found);
        Items listed = found.items();
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, (Items{"/p/a/x.bmp", "/p/m.bmp", "/p/z/x.bmp"})) << linkFirst;
    }
}

TEST(FindFiles, long_names_deep_paths_and_names_that_are_not_utf8) {
    TempTree tree;
    const std::string longName = std::string(250, 'n') + ".bmp";
    std::string deep;
    for (int i = 0; i < 12; ++i) deep += std::string(60, static_cast<char>('a' + i)) + "/";
    const std::string odd = std::string("caf\xe9-\xff.bmp");  // Latin-1 bytes, not UTF-8
    tree.addFile(longName, solidBmp(1, 1, 0x123456));
    tree.addFile(deep + "d.bmp", solidBmp(1, 1, 0x123456));
    tree.addFile(odd, solidBmp(2, 1, 0xABCDEF));
    Items items = find(tree.root());
    std::sort(items.begin(), items.end());
    ASSERT_EQ(items.size(), 3u);
    ASSERT_NE(std::find(items.begin(), items.end(), tree.path(odd)), items.end());
    EXPECT_EQ(tk::LoadPicture(tree.path(odd)).widthPixels(), 2);  // opened by its real bytes
    EXPECT_GT(tree.path(deep + "d.bmp").size(), 700u);
    EXPECT_NE(std::find(items.begin(), items.end(), tree.path(deep + "d.bmp")), items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), tree.path(longName)), items.end());
}

TEST(FindFiles, trim_at_nul) {
    using discovery::TrimAtNul;
    EXPECT_EQ(TrimAtNul(std::string("abc\0\0\0", 6)), "abc");
    EXPECT_EQ(TrimAtNul(std::string("\0abc", 4)), "");
    EXPECT_EQ(TrimAtNul("abc"), "abc");
    EXPECT_EQ(TrimAtNul(""), "");
}

TEST(FindFiles, a_folder_removed_while_the_walk_runs_is_passed_over) {
    // The real file system, but the folder "b" vanishes as soon as the walk enters "a".
    struct Vanishing : discovery::PosixEnumerator {
        std::string victim;
        discovery::FindHandle FindFirstFile(const std::string& search, discovery::FindData& data,
                                            discovery::FolderId& id) override {
            if (search.find("/a/") != std::string::npos && !victim.empty()) {
                std::remove((victim + "/x.bmp").c_str());
                std::remove(victim.c_str());
                victim.clear();
            }
            return PosixEnumerator::FindFirstFile(search, data, id);
        }
    };
    TempTree tree({"a/1.bmp", "b/x.bmp", "c/2.bmp"});
    Vanishing enumerator;
    enumerator.victim = tree.path("b");
    discovery::Finder finder(enumerator);
    std::string root = tree.root();
    tk::Collection found;
    finder.FindFiles(root, "*", "*.bmp", found);
    Items items = found.items();
    std::sort(items.begin(), items.end());
    // Whether "b" came before "a" in this folder's order decides if x.bmp was seen in time.
    EXPECT_TRUE(items == (Items{tree.path("a/1.bmp"), tree.path("c/2.bmp")}) ||
                items == (Items{tree.path("a/1.bmp"), tree.path("b/x.bmp"), tree.path("c/2.bmp")}));
}
