// A process that has captured nothing shows zeros: the matrices start empty.
#include "support/WindowFixture.h"

#include <QPushButton>

TEST_F(WindowTest, BeforeAnyCaptureTheReadOutIsZero)
{
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(QStringList({Text("Edit2"), Text("Edit3"), Text("Edit4"), Text("Edit5")}),
              QStringList({"0", "0", "0", "0"}));
}
