#pragma once
// List box. Items are texts as the file system's bytes. A sorted list keeps its items in
// compareListText() order; items added in a burst are merged in one pass when next read, so
// adding 40,000 items costs n log n, not n squared.

#include "toolkit/Controls.h"

#include <string>
#include <vector>

namespace tk {

class ListBox : public Control {
public:
    using Control::Control;
    bool Sorted = false;

    void AddItem(std::string item);
    void Clear();
    int32_t ListCount() const;
    // Item at index (from 0); an index outside the list is an error.
    const std::string& List(int32_t index) const;
    const std::vector<std::string>& items() const;

    int32_t ListIndex() const { return m_listIndex; }  // the highlighted item, -1 for none
    void userSelect(int32_t index) { m_listIndex = index; }  // selecting runs no code

private:
    void settle() const;
    mutable std::vector<std::string> m_items;
    mutable size_t m_sortedCount = 0;  // items before this index are in order
    int32_t m_listIndex = -1;
};

}  // namespace tk
