// The test program's entry: the layers wired as start-up wires them (every registration point
// with its handler), then every test.
#include <gtest/gtest.h>

#include "vxs/control/entry.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    vxs::connectLayers();
    return RUN_ALL_TESTS();
}
