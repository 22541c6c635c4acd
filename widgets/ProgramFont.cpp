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
    QApplication::setFont(font);
}

} // namespace halvix
