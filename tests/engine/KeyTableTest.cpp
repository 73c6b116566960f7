#include <gtest/gtest.h>

#include "app/WaveInOutDlg.h"
#include "support/TempFolder.h"

namespace {

class KeyTableTest : public ::testing::Test {
protected:
    TempFolder folder;
    CWaveInOutDlg dlg{folder.Path()};
};

TEST_F(KeyTableTest, BoundariesAtA440MatchTheEqualTemperedEdges) {
    dlg.BuildKeyTable();
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[0], 64);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[1], 67);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[2], 71);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[7], 95);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[33], 427);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[34], 453);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[41], 679);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[60], 2033);
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[61], 2154);
}

TEST_F(KeyTableTest, HighestKeyHasAnUpperEdgeBySameFormula) {
    dlg.BuildKeyTable();
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[62], 2282);
}

TEST_F(KeyTableTest, KeyCombosListEveryKeyNameInOrder) {
    dlg.BuildKeyTable();
    ASSERT_EQ(dlg.m_comboMinKey.GetCount(), 62);
    ASSERT_EQ(dlg.m_comboMaxKey.GetCount(), 62);
    EXPECT_EQ(dlg.m_comboMinKey.GetLBText(0), "C_2");
    EXPECT_EQ(dlg.m_comboMinKey.GetLBText(33), "A_4");
    EXPECT_EQ(dlg.m_comboMaxKey.GetLBText(60), "C_7");
    EXPECT_EQ(dlg.m_comboMaxKey.GetLBText(61), "C#7");
}

TEST_F(KeyTableTest, NoteNamesCoverKeysZeroToSixty) {
    dlg.BuildKeyTable();
    EXPECT_STREQ(dlg.FreqToNoteName(63), "");
    EXPECT_STREQ(dlg.FreqToNoteName(64), "C_2");
    EXPECT_STREQ(dlg.FreqToNoteName(427), "A_4");
    EXPECT_STREQ(dlg.FreqToNoteName(426), "G#4");
    EXPECT_STREQ(dlg.FreqToNoteName(2033), "C_7");
    EXPECT_STREQ(dlg.FreqToNoteName(2153), "C_7");
    EXPECT_STREQ(dlg.FreqToNoteName(2154), "");
    EXPECT_STREQ(dlg.FreqToNoteName(-5), "");
}

TEST_F(KeyTableTest, ShowNoteNameSetsTheControlTextEvenWhenEmpty) {
    dlg.BuildKeyTable();
    CStatic note;
    note.SetWindowText("A_4");
    EXPECT_STREQ(dlg.ShowNoteName(0, &note), "");
    EXPECT_EQ(note.GetWindowText(), "");
    EXPECT_STREQ(dlg.ShowNoteName(440, &note), "A_4");
    EXPECT_EQ(note.GetWindowText(), "A_4");
}

TEST_F(KeyTableTest, LowTuningKeepsEveryBoundaryRising) {
    dlg.m_nA4 = 220;
    dlg.BuildKeyTable();
    EXPECT_EQ(dlg.m_nKeyBoundaryHz[0], 32);
    for (int i = 0; i < CWaveInOutDlg::kKeyCount; ++i) EXPECT_LT(dlg.m_nKeyBoundaryHz[i], dlg.m_nKeyBoundaryHz[i + 1]);
}

}  // namespace
