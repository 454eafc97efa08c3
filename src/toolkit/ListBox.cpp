#include "toolkit/ListBox.h"

#include "toolkit/Errors.h"
#include "toolkit/Text.h"

#include <algorithm>
#include <limits>

namespace tk {

void ListBox::AddItem(std::string item) {
    if (m_items.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw Error(kOutOfMemory, QStringLiteral("Out of memory: the list is full"));
    m_items.push_back(std::move(item));
    if (!Sorted) m_sortedCount = m_items.size();
    notify(Property::Items);
}

void ListBox::Clear() {
    m_items.clear();
    m_sortedCount = 0;
    m_listIndex = -1;
    notify(Property::Items);
}

void ListBox::settle() const {
    if (m_sortedCount == m_items.size()) return;
    const auto less = [](const std::string& a, const std::string& b) { return compareListText(a, b) < 0; };
    const auto middle = m_items.begin() + static_cast<std::ptrdiff_t>(m_sortedCount);
    std::stable_sort(middle, m_items.end(), less);
    std::inplace_merge(m_items.begin(), middle, m_items.end(), less);
    m_sortedCount = m_items.size();
}

int32_t ListBox::ListCount() const { return static_cast<int32_t>(m_items.size()); }

const std::string& ListBox::List(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_items.size())
        throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property array index"));
    settle();
    return m_items[static_cast<size_t>(index)];
}

const std::vector<std::string>& ListBox::items() const {
    settle();
    return m_items;
}

}  // namespace tk
