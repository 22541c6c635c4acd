#include "editing/window/DataDialog.h"

#include "editing/PlanFile.h"
#include "store/DatabaseFailure.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"
#include "ui_DataDialog.h"
#include "widgets/ChoiceGroup.h"
#include "widgets/UserPrompts.h"

#include <QAbstractButton>
#include <QDir>
#include <QKeyEvent>
#include <utility>

namespace halvix {

namespace {

constexpr int kCellsPerRow = kPlanColumnCount;

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

std::string shownPath(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

} // namespace

DataDialog::DataDialog(std::filesystem::path programFolder, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::DataDialog>()), m_programFolder(std::move(programFolder)),
      m_prompts(prompts), m_model(m_list), m_tableButtons(new ChoiceGroup(this)) {
    m_ui->setupUi(this);
    setFixedSize(size());
    showAsList(*m_ui->tableList, m_model);
    onListDoubleClick(*m_ui->tableList, [this](int row) { onDeleteRow(row); });

    // The nine buttons are one group (at most one checked, none at first) wherever they sit.
    const std::pair<QAbstractButton*, int> buttons[] = {
        {m_ui->springMondayButton, 1},   {m_ui->springWeekdaysButton, 2}, {m_ui->autumnMondayButton, 3},
        {m_ui->autumnWeekdaysButton, 4}, {m_ui->fridayButton, 5},         {m_ui->springExamButton, 6},
        {m_ui->autumnExamButton, 7},     {m_ui->examScheduleButton, 8},   {m_ui->sundayButton, 9},
    };
    for (const auto& [button, code] : buttons)
        m_tableButtons->addButton(button, code);
    // Clicking the checked button loads its table again; a screen reader's toggle chooses too.
    connect(m_tableButtons, &ChoiceGroup::chosen, this, &DataDialog::onChooseTable);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &DataDialog::onSave);
    connect(m_ui->importButton, &QPushButton::clicked, this, &DataDialog::onImport);
    connect(m_ui->exportButton, &QPushButton::clicked, this, &DataDialog::onExport);
}

DataDialog::~DataDialog() = default;

void DataDialog::renumberRows() {
    m_model.renumberRows();
}

int DataDialog::readListRows(TextList& cells) const {
    cells = m_list.cells(kCellsPerRow);
    return kCellsPerRow;
}

bool DataDialog::unsavedChanges() const {
    return m_list.cells(kCellsPerRow) != m_storedCells;
}

void DataDialog::rememberStoredRows() {
    m_storedCells = m_list.cells(kCellsPerRow);
}

void DataDialog::done(int result) {
    // 关闭, Esc, Enter and the close box all end here: rows not yet saved are never dropped unasked.
    if (unsavedChanges() &&
        !mayCloseUnsaved(m_prompts, {"数据已修改但尚未保存。\n是否保存?", "数据管理", MessageIcon::Question},
                         [this] { return save(); }))
        return;
    QDialog::done(result);
}

void DataDialog::keyPressEvent(QKeyEvent* event) {
    // Enter closes the dialog like Escape: there is no button that Enter would press.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DataDialog::onChooseTable(int code) {
    TextList names;
    TextList values;
    bool read = false;
    {
        ScheduleDatabase database(m_programFolder, m_prompts);
        database.open();
        // An empty table gives its columns without rows; a failed read gives neither.
        if (database.isOpen())
            read = database.loadTable(planTableName(code), names, values) || !names.empty();
        database.close();
    }
    if (!read) {
        // The list still shows the previous choice (or an import for it): that choice stands, so
        // that 保存 never writes the list into a table it was not read from.
        m_tableButtons->check(m_selectedTable);
        return;
    }
    m_selectedTable = code;
    if (values.empty())
        m_model.setListColumns(names); // so the list shows what 保存 writes
    else
        m_model.fillList(names, values);
    rememberStoredRows();
}

void DataDialog::onSave() {
    if (save())
        notify("已保存!", MessageIcon::Information);
}

bool DataDialog::save() {
    if (m_selectedTable == 0) {
        notify("选择类型!", MessageIcon::Warning);
        return false;
    }
    ScheduleDatabase database(m_programFolder, m_prompts);
    if (database.databaseMissing()) {
        notify(missingDatabaseText(m_programFolder, MissingDatabase::NotFound), MessageIcon::Critical);
        return false;
    }
    database.open();
    TextList cells;
    readListRows(cells);
    const std::string table = planTableName(m_selectedTable);
    // An empty list empties the table: what the list shows is what the table holds.
    const bool saved =
        cells.empty() ? database.clearTable(table) : database.replaceRows(table, kCellsPerRow, cells);
    database.close();
    if (!saved)
        return false;
    rememberStoredRows();
    emit this->saved(QString::fromStdString(table));
    return true;
}

void DataDialog::onDeleteRow(int row) {
    if (m_prompts.confirm({deleteQuestion(m_list, row, "\n\n是否删除?"), "删除", MessageIcon::Question}))
        m_model.removeListRow(row);
    renumberRows();
}

void DataDialog::onImport() {
    const QString path = m_prompts.openFileName(QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    // Every line is checked before the list changes: a bad file names its line, and a file without
    // rows leaves the list as it is (保存 would otherwise empty the table).
    TextList cells;
    std::string error;
    if (!readPlanFile(toPath(path), cells, error))
        notify("无法导入 " + shownPath(path) + ":\n" + error + "\n列表未改变。", MessageIcon::Warning);
    else if (cells.empty())
        notify("无法导入 " + shownPath(path) + ":\n文件中没有任何行。\n列表未改变。", MessageIcon::Warning);
    else
        m_model.fillList(planFileTitles(), cells);
    renumberRows();
}

void DataDialog::onExport() {
    const QString path = m_prompts.saveFileName(QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("csv"),
                                                QStringLiteral("*.csv"));
    if (path.isEmpty())
        return;
    // The titles go first, in the form of a row, so that importing the file keeps every row.
    TextList cells;
    for (int c = 0; c < kCellsPerRow; ++c)
        cells.push_back(c < m_list.columnCount() ? m_list.names()[static_cast<std::size_t>(c)]
                                                 : std::string());
    TextList rows;
    readListRows(rows);
    cells.insert(cells.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    if (m_csv.writeFile(toPath(path), kCellsPerRow, cells))
        m_prompts.show({"已导出" + shownPath(path), "", MessageIcon::Information});
    else
        m_prompts.show({"无法写入 " + shownPath(path), "", MessageIcon::Critical});
}

void DataDialog::notify(const std::string& text, MessageIcon icon) {
    m_prompts.show({text, "", icon});
}

} // namespace halvix
