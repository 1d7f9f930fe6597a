// The decoder's constant tables against their published sources.

#include "QmDecoder.h"
#include "Tables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

using namespace wlt;

TEST(QmTable, MatchesT81TableD3RowForRow)
{
    std::ifstream tsv(WLT_QM_TABLE_TSV);
    ASSERT_TRUE(tsv) << "cannot open " << WLT_QM_TABLE_TSV;
    std::string line;
    std::getline(tsv, line);  // column names
    int rows = 0;
    while (std::getline(tsv, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        int index, nextLps, nextMps, switchMps;
        std::string qe;
        ASSERT_TRUE(fields >> index >> qe >> nextLps >> nextMps >> switchMps) << line;
        ASSERT_EQ(index, rows);
        ASSERT_LT(index, kQmRows);
        EXPECT_EQ(kTables.ShiftTb[index][0], std::stoi(qe, nullptr, 16)) << "row " << index;
        EXPECT_EQ(kTables.ShiftTb[index][1], nextLps) << "row " << index;
        EXPECT_EQ(kTables.ShiftTb[index][2], nextMps) << "row " << index;
        EXPECT_EQ(kTables.ShiftTb[index][3], switchMps) << "row " << index;
        ++rows;
    }
    EXPECT_EQ(rows, 113);
    for (int row = kQmRows; row < kShiftRows; ++row)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(kTables.ShiftTb[row][c], 0) << "spare row " << row;
}

TEST(QmTable, EveryTransitionStaysInsideTheMachine)
{
    for (int row = 0; row < kQmRows; ++row) {
        EXPECT_LT(kTables.ShiftTb[row][1], kQmRows);
        EXPECT_LT(kTables.ShiftTb[row][2], kQmRows);
        EXPECT_LT(kTables.ShiftTb[row][0], 0x8000);
        EXPECT_GT(kTables.ShiftTb[row][0], 0);
    }
}

TEST(InitState, ResetsContextsAndLoadsTheTreeOfTheKind)
{
    State s;
    for (int k = 0; k < 8; ++k) {
        s.mps[k] = 1;
        s.index[k] = 40;
        s.qe[k] = 7;
        for (int c = 0; c < 4; ++c)
            s.tree[k][c] = 99;
    }
    InitState(s, 3);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(s.mps[k], 0);
        EXPECT_EQ(s.index[k], 0);
        EXPECT_EQ(s.qe[k], 0x5A1Du);
    }
    const int vl3[3][4] = {{0, 1, 1, 2}, {1, 0, 1, 1}, {0, 0, 0, 0}};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(s.tree[k][c], vl3[k][c]);
    EXPECT_EQ(s.tree[3][0], 99) << "nodes past the table stay as they were";

    InitState(s, 5);  // no tree of that size: the tree is kept
    EXPECT_EQ(s.tree[0][1], 1);
    EXPECT_EQ(s.tree[1][0], 1);
}
