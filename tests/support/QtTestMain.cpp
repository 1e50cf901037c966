#include <gtest/gtest.h>

#include <QApplication>

// One QApplication for the whole executable: widgets, socket notifiers and the
// serial hand-over all need the GUI thread's event loop.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
