// The values and targets of an I/O statement's list with whole arrays expanded into their
// elements, shared by the file statements and the field statements.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "vxs/interpreter/consoleio.h"

namespace vxs {

struct Item {
    Cell* cell = nullptr;   // null: a small integer
    double small = 0;
    int32_t element = -1;   // an element of a whole array
};

// The one list of a statement's values or targets (statements do not nest), kept with its room.
std::vector<Item>& itemList();
// Takes `count` operands into `out`, each whole array as its elements (9005 when missing).
// `counts` (optional) receives the number of items each entry of the list gave.
[[nodiscard]] int expand(Operands& ops, int count, std::vector<Item>& out,
                         std::vector<int>* counts = nullptr);
bool itemIsString(const Item& it);
double itemNumber(const Item& it);
std::string_view itemString(const Item& it);
int itemCapacity(const Item& it);
// Stores into a target: 0, 307 (no target), 4 (a string too long without SOFLOW ignored).
[[nodiscard]] int assignNumber(const Item& it, double v);
[[nodiscard]] int assignText(const EvalEnv& env, const Item& it, std::string_view s);

}  // namespace vxs
