// The menu bar's model (see menu.h).
#include "vxs/screen/menu.h"

namespace vxs {

void MenuModel::set(MenuPart part, const std::vector<std::vector<std::string>>& lists) {
    if (part == MenuPart::Buttons) return;  // the front end's tool bar
    if (part == MenuPart::All) {
        items_.clear();
        selected_ = 0;
        const size_t n = lists.empty() ? 0 : lists[0].size();
        for (size_t i = 0; i < n; ++i) {
            MenuItem m;
            const std::string& t = lists[0][i];
            const size_t dots = t.find_first_not_of('.');
            m.depth = static_cast<int>(dots == std::string::npos ? t.size() : dots);
            m.text = dots == std::string::npos ? std::string() : t.substr(dots);
            if (lists.size() > 1 && i < lists[1].size()) m.data = lists[1][i];
            if (lists.size() > 2 && i < lists[2].size()) m.status = lists[2][i];
            items_.push_back(std::move(m));
        }
        return;
    }
    if (lists.empty()) return;
    for (size_t i = 0; i < items_.size() && i < lists[0].size(); ++i) {
        const std::string& v = lists[0][i];
        switch (part) {
            case MenuPart::Text: {
                const size_t dots = v.find_first_not_of('.');
                items_[i].text = dots == std::string::npos ? std::string() : v.substr(dots);
                break;
            }
            case MenuPart::Data: items_[i].data = v; break;
            default: items_[i].status = v; break;
        }
    }
}

std::vector<int> MenuModel::barItems() const {
    std::vector<int> out;
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].depth == 0) out.push_back(static_cast<int>(i) + 1);
    return out;
}

std::vector<int> MenuModel::listOf(int entry) const {
    std::vector<int> out;
    if (!item(entry) || item(entry)->depth != 0) return out;
    for (size_t i = static_cast<size_t>(entry); i < items_.size() && items_[i].depth > 0; ++i)
        out.push_back(static_cast<int>(i) + 1);
    return out;
}

bool MenuModel::choosable(int n) const {
    const MenuItem* m = item(n);
    if (!m || m->separator() || m->grayed() || m->depth == 0) return false;
    const MenuItem* next = item(n + 1);
    return !next || next->depth <= m->depth;
}

int MenuModel::itemOfLetter(const std::vector<int>& items, char letter) const {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (const int n : items) {
        if (!item(n)) continue;
        const std::string& t = item(n)->text;
        for (size_t i = 0; i + 1 < t.size(); ++i) {
            if (t[i] != '&') continue;
            if (t[i + 1] != '&' && lower(t[i + 1]) == lower(letter)) return n;
            ++i;  // "&&" is no mark
        }
    }
    return 0;
}

std::string MenuModel::shownText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

std::vector<std::string> MenuModel::part(MenuPart part) const {
    std::vector<std::string> out;
    for (const MenuItem& m : items_)
        out.push_back(part == MenuPart::Data ? m.data
                      : part == MenuPart::Status
                          ? m.status
                          : std::string(static_cast<size_t>(m.depth), '.') + m.text);
    return out;
}

}  // namespace vxs
