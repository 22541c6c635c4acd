// The reference the program's memory and start-up are measured against: Qt Widgets with one window
// of the main window's size, Chinese text in the program's face and a tray icon, and nothing else.
#include "widgets/ProgramFont.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    halvix::useSongFontEverywhere();

    QWidget window;
    // Found by its Latin start, as the program's window is (see scripts/lib/program.sh).
    window.setWindowTitle(QStringLiteral("Reference  参照窗口"));
    window.resize(774, 440);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("校园广播  距下一次响铃 08:00:00 上课")));

    QSystemTrayIcon tray(QIcon(QStringLiteral(":/icons/bell.png")));
    tray.setToolTip(QStringLiteral("校园广播"));
    tray.show();
    window.show();
    return app.exec();
}
