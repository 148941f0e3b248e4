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

}  // namespace vxs
