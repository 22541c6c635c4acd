#include "widgets/ChineseInterface.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace halvix {

namespace {

// The Qt module whose texts a user can see: dialogs and buttons.
constexpr const char* kCatalogues[] = {"qtbase"};

} // namespace

QStringList useChineseInterface() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    QStringList missing;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : kCatalogues) {
        // Owned by the application: translators stay installed until it ends.
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator))
            continue;
        missing << QString::fromLatin1(catalogue);
        delete translator;
    }
    return missing;
}

} // namespace halvix
