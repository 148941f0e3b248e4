// The menu bar a program sets with DISPLAY MENU, as the terminal side keeps it: one item per
// element of the program's arrays (its text, its data, its status), the item the operator chose
// last.  A front end with a menu bar shows it; choosing an item queues the event key (0x6200),
// which ends field input with FKEY 98 and reaches ON EVENT in a running program.
//
// An item's text gives its place: leading "." characters are its depth (0 an entry of the bar,
// 1 an entry of the last bar entry's list, 2 of that entry's submenu ...), "-" after them is a
// separator, "&" marks the letter that opens it.  Its status holds "X" when it shows checked and
// "G" when it is grayed (cannot be chosen).
// Invariants: texts, data and statuses hold one element per item; `selected` is 0 or an item.
#pragma once

#include <string>
#include <vector>

namespace vxs {

struct MenuItem {
    std::string text;  // without the leading dots
    std::string data, status;
    int depth = 0;
    bool separator() const { return text == "-"; }
    bool checked() const { return status.find_first_of("Xx") != std::string::npos; }
    bool grayed() const { return status.find_first_of("Gg") != std::string::npos; }
};

// What DISPLAY sets: the whole menu, or only the texts, data or statuses of the items; or the
// tool bar's buttons (DISPLAY BUTTONS: captions and the keys they give), which the menu model
// leaves to the front end.
enum class MenuPart : int { All = 0, Text = 1, Data = 2, Status = 3, Buttons = 4 };

class MenuModel {
  public:
    // Applies a DISPLAY: `lists` holds, for All, the texts and optionally the data and statuses;
    // for one part, that part.  A part list longer or shorter than the menu changes the items it
    // reaches.  An empty All list takes the menu away.
    void set(MenuPart part, const std::vector<std::vector<std::string>>& lists);
    const std::vector<MenuItem>& items() const { return items_; }
    int selected() const { return selected_; }
    // The operator chose item n (1-based); 0 when n is no item.
    void choose(int n) { selected_ = n >= 1 && n <= static_cast<int>(items_.size()) ? n : 0; }
    // What INPUT MENU reads of every item: its text as DISPLAY gave it (the dots of its depth
    // before it), its data or its status.
    std::vector<std::string> part(MenuPart part) const;
    // For a front end that draws the menu itself: the items of the bar (depth 0), the items
    // listed under bar item `entry` (the deeper items up to the next bar item), whether item n
    // can be chosen (no separator, not grayed, no items below it), the first of `items` whose
    // "&" letter is `letter` (any case; "&&" marks none; 0 when none), and that among the bar's
    // items.  Item numbers are 1-based.
    std::vector<int> barItems() const;
    std::vector<int> listOf(int entry) const;
    bool choosable(int n) const;
    int itemOfLetter(const std::vector<int>& items, char letter) const;
    int barItemOfLetter(char letter) const { return itemOfLetter(barItems(), letter); }
    // An item's text as shown: without the "&" marks ("&&" shows one "&").
    static std::string shownText(const std::string& text);
    // Item n (1-based), or null.
    const MenuItem* item(int n) const {
        return n >= 1 && n <= static_cast<int>(items_.size()) ? &items_[static_cast<size_t>(n - 1)]
                                                              : nullptr;
    }

  private:
    std::vector<MenuItem> items_;
    int selected_ = 0;
};

}  // namespace vxs
