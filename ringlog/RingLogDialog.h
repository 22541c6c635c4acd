#pragma once

#include "ringlog/RingLog.h"
#include "store/TextTable.h"

#include <QDate>
#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace halvix {

class TextTableModel;
class UserPrompts;

// 响铃记录: what the ring log holds for one date at a time (today first), and 导出 of those rows
// to a CSV file. The log is read on the writer's thread after the rows it still holds, so the latest
// ring shows and the window never waits for the disk.
class RingLogDialog final : public QDialog {
    Q_OBJECT

public:
    RingLogDialog(RingLogWriter& writer, UserPrompts& prompts, const QDate& today, QWidget* parent = nullptr);
    ~RingLogDialog() override;

    void showDate(const QDate& date);
    void onExport();
    const std::vector<RingRow>& rows() const { return m_rows; }

private:
    // The rows of the read `request` have come: shown unless a later date was asked for since.
    void showRows(unsigned long long request, std::optional<std::vector<RingRow>> rows,
                  const std::string& error);

    RingLogWriter& m_writer;
    UserPrompts& m_prompts;
    TextTable m_table;
    std::unique_ptr<TextTableModel> m_model;
    std::vector<RingRow> m_rows;
    QDateEdit* m_date = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
    unsigned long long m_request = 0; // the latest read asked of the writer
};

} // namespace halvix
