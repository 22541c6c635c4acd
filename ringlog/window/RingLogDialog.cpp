#include "ringlog/window/RingLogDialog.h"

#include "ringlog/window/RingRowModel.h"
#include "widgets/TextTableModel.h"
#include "widgets/UserPrompts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace halvix {

namespace {

constexpr int kFittedRows = 50;

} // namespace

RingLogDialog::RingLogDialog(RingLogWriter& writer, UserPrompts& prompts, const QDate& today, QWidget* parent)
    : QDialog(parent), m_writer(writer), m_prompts(prompts), m_model(std::make_unique<RingRowModel>()) {
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
    auto* nodeLabel = new QLabel(QStringLiteral("节点"), this);
    m_node = new QComboBox(this);
    m_node->setObjectName(QStringLiteral("nodeFilter"));
    m_node->setAccessibleName(QStringLiteral("节点"));
    m_node->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // Data: the node id to show; empty for this machine's rows; none (invalid) for all rows.
    m_node->addItem(QStringLiteral("全部"));
    m_node->addItem(QStringLiteral("本机"), QString());
    nodeLabel->setBuddy(m_node);
    m_export = new QPushButton(QStringLiteral("导出"), this);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setTextFormat(Qt::PlainText); // the database's own words when it cannot be read
    auto* top = new QHBoxLayout;
    top->addWidget(dateLabel);
    top->addWidget(m_date);
    top->addWidget(nodeLabel);
    top->addWidget(m_node);
    top->addWidget(m_status, 1);
    top->addWidget(m_export);

    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("ringList"));
    m_list->setAccessibleName(QStringLiteral("响铃记录"));
    showAsList(*m_list, *m_model);
    // The columns are fitted to the texts of the rows near the top, not to a thousand of them:
    // a date of many rows then shows, and is filtered, without the window waiting.
    m_list->horizontalHeader()->setResizeContentsPrecision(kFittedRows);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);

    connect(m_date, &QDateEdit::dateChanged, this, &RingLogDialog::showDate);
    connect(m_node, &QComboBox::currentIndexChanged, this, &RingLogDialog::showFiltered);
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
        auto rows = log.rowsOn(day, RingLog::Whose::Everyone);
        std::string error = rows ? std::string() : log.lastError();
        std::vector<std::string> nodes = log.nodes().value_or(std::vector<std::string>{});
        // Back on the window's thread; a window closed meanwhile gets nothing.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, request, rows = std::move(rows), nodes = std::move(nodes),
             error = std::move(error)]() mutable {
                if (self)
                    self->showRows(request, std::move(rows), nodes, error);
            },
            Qt::QueuedConnection);
    });
}

void RingLogDialog::showRows(unsigned long long request, std::optional<std::vector<RingRow>> rows,
                             const std::vector<std::string>& nodes, const std::string& error) {
    if (request != m_request)
        return;
    m_export->setEnabled(true);
    m_error = rows ? std::string() : error;
    offerNodes(nodes);
    m_model->setRows(rows ? std::move(*rows) : std::vector<RingRow>{}, chosenNode());
    showCount();
}

void RingLogDialog::offerNodes(const std::vector<std::string>& nodes) {
    // Only added: the choice made stays, also when the date shown has no row of that node.
    for (const std::string& node : nodes) {
        const QString id = QString::fromStdString(node);
        if (m_node->findData(id) < 0)
            m_node->addItem(id, id);
    }
}

std::optional<std::string> RingLogDialog::chosenNode() const {
    const QVariant chosen = m_node->currentData();
    return chosen.isValid() ? std::optional(chosen.toString().toStdString()) : std::nullopt;
}

void RingLogDialog::showFiltered() {
    m_model->filter(chosenNode());
    showCount();
}

void RingLogDialog::showCount() {
    m_status->setText(m_error.empty()
                          ? QStringLiteral("%1 条").arg(m_model->rowCount())
                          : QStringLiteral("无法读取响铃记录: %1").arg(QString::fromStdString(m_error)));
}

std::vector<RingRow> RingLogDialog::rows() const {
    return m_model->listed();
}

void RingLogDialog::onExport() {
    const QString day = m_date->date().toString(QStringLiteral("yyyy-MM-dd"));
    const QString path = m_prompts.saveFileName(QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("csv"),
                                                QStringLiteral("响铃记录-%1.csv").arg(day));
    if (path.isEmpty())
        return;
    const std::u16string wide = path.toStdU16String();
    if (writeRingLogCsv(std::filesystem::path(wide), m_model->listed()))
        m_prompts.show({"已导出 " + path.toStdString(), "响铃记录", MessageIcon::Information});
    else
        m_prompts.show({"无法写入 " + path.toStdString(), "响铃记录", MessageIcon::Critical});
}

} // namespace halvix
