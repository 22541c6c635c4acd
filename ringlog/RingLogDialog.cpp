#include "ringlog/RingLogDialog.h"

#include "widgets/TextTableModel.h"
#include "widgets/UserPrompts.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace halvix {

RingLogDialog::RingLogDialog(RingLogWriter& writer, UserPrompts& prompts, const QDate& today, QWidget* parent)
    : QDialog(parent), m_writer(writer), m_prompts(prompts),
      m_model(std::make_unique<TextTableModel>(m_table)) {
    setObjectName(QStringLiteral("ringLogDialog"));
    setWindowTitle(QStringLiteral("响铃记录"));
    resize(860, 420);

    auto* dateLabel = new QLabel(QStringLiteral("日期"), this);
    m_date = new QDateEdit(today, this);
    m_date->setObjectName(QStringLiteral("dateEdit"));
    m_date->setAccessibleName(QStringLiteral("日期"));
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    // Room for the whole date beside the popup's arrow, whatever the font.
    m_date->setMinimumWidth(m_date->fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88")) + 48);
    dateLabel->setBuddy(m_date);
    m_export = new QPushButton(QStringLiteral("导出"), this);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    auto* top = new QHBoxLayout;
    top->addWidget(dateLabel);
    top->addWidget(m_date);
    top->addWidget(m_status, 1);
    top->addWidget(m_export);

    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("ringList"));
    m_list->setAccessibleName(QStringLiteral("响铃记录"));
    showAsList(*m_list, *m_model);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);

    connect(m_date, &QDateEdit::dateChanged, this, &RingLogDialog::showDate);
    connect(m_export, &QPushButton::clicked, this, &RingLogDialog::onExport);
    showDate(today);
}

RingLogDialog::~RingLogDialog() {
    m_list->setModel(nullptr);
}

void RingLogDialog::showDate(const QDate& date) {
    const unsigned long long request = ++m_request;
    m_export->setEnabled(false); // until the rows of this date are shown
    m_status->setText(QStringLiteral("读取中…"));
    m_writer.read([self = QPointer<RingLogDialog>(this), request,
                   day = date.toString(QStringLiteral("yyyy-MM-dd")).toStdString()](RingLog& log) {
        auto rows = log.rowsOn(day);
        std::string error = rows ? std::string() : log.lastError();
        // Back on the window's thread; a window closed meanwhile gets nothing.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, request, rows = std::move(rows), error = std::move(error)]() mutable {
                if (self)
                    self->showRows(request, std::move(rows), error);
            },
            Qt::QueuedConnection);
    });
}

void RingLogDialog::showRows(unsigned long long request, std::optional<std::vector<RingRow>> rows,
                             const std::string& error) {
    if (request != m_request)
        return;
    m_export->setEnabled(true);
    m_rows = rows.value_or(std::vector<RingRow>{});
    TextList cells;
    for (const RingRow& row : m_rows)
        for (std::string& cell : ringRowCells(row))
            cells.push_back(std::move(cell));
    m_model->setListColumns(ringLogColumns());
    m_model->fillList(ringLogColumns(), cells);
    m_status->setText(rows ? QStringLiteral("%1 条").arg(m_rows.size())
                           : QStringLiteral("无法读取响铃记录: %1").arg(QString::fromStdString(error)));
}

void RingLogDialog::onExport() {
    const QString day = m_date->date().toString(QStringLiteral("yyyy-MM-dd"));
    const QString path = m_prompts.saveFileName(QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("csv"),
                                                QStringLiteral("响铃记录-%1.csv").arg(day));
    if (path.isEmpty())
        return;
    const std::u16string wide = path.toStdU16String();
    if (writeRingLogCsv(std::filesystem::path(wide), m_rows))
        m_prompts.show({"已导出 " + path.toStdString(), "响铃记录", MessageIcon::Information});
    else
        m_prompts.show({"无法写入 " + path.toStdString(), "响铃记录", MessageIcon::Critical});
}

} // namespace halvix
