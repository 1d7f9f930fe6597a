// The decoder's constant tables against their published sources.

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
