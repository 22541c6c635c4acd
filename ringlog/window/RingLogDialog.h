#pragma once

#include "ringlog/RingLog.h"

#include <QDate>
#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace halvix {

class RingRowModel;
class UserPrompts;

// 响铃记录: what the ring log holds for one date at a time (today first), of every building or of
// one (全部, 本机 or a building whose rows the log holds), and 导出 of the rows shown to a CSV file. The log
// is read on the writer's thread after the rows it still holds, so the latest ring shows and the window never
// waits for the disk.
class RingLogDialog final : public QDialog {
    Q_OBJECT

public:
    RingLogDialog(RingLogWriter& writer, UserPrompts& prompts, const QDate& today, QWidget* parent = nullptr);
    ~RingLogDialog() override;

    void showDate(const QDate& date);
    void onExport();
    // The rows shown: those of the date that the node filter lets through.
    std::vector<RingRow> rows() const;

private:
    // The rows of the read `request` have come: shown unless a later date was asked for since.
    void showRows(unsigned long long request, std::optional<std::vector<RingRow>> rows,
                  const std::vector<std::string>& nodes, const std::string& error);
    void offerNodes(const std::vector<std::string>& nodes);
    // The building chosen in 节点 ("" for this machine); nothing for 全部.
    std::optional<std::string> chosenNode() const;
    void showFiltered();
    void showCount();

    RingLogWriter& m_writer;
    UserPrompts& m_prompts;
    std::unique_ptr<RingRowModel> m_model; // every row of the date, those of the chosen node listed
    std::string m_error;
    QDateEdit* m_date = nullptr;
    QComboBox* m_node = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
    unsigned long long m_request = 0; // the latest read asked of the writer
};

} // namespace halvix
