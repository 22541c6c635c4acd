#include "widgets/ProgramFont.h"

#include <QApplication>
#include <QFont>

namespace halvix {

QStringList songFamilies() {
    return {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("Noto Sans CJK SC")};
}

void useSongFontEverywhere() {
    QFont font = QApplication::font();
    font.setFamilies(songFamilies());
    // Bold text (a highlighted list title; the list view measures every title in bold) is
    // drawn from the regular face made bold, instead of mapping the family's bold face as well.
    font.setStyleName(QStringLiteral("Regular"));
    QApplication::setFont(font);
}

} // namespace halvix
