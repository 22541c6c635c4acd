#include "app/BellApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    return halvix::BellApp(app).run();
}
