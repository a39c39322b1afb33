#include "gui/alarm_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "datalogs/alarm_rules.h"
#include "datalogs/log_channels.h"

namespace veloquin::gui {
namespace {

enum Column {
    on,
    name,
    channel,
    side,
    threshold,
    while_channel,
    while_side,
    while_value,
    hold,
    hysteresis,
    column_count
};
constexpr const char* kHeaders[column_count] = {
    "On", "Name", "Channel", "", "Threshold", "While", "", "Value", "Hold ms", "Hysteresis"};
constexpr const char* kAlways = "always";
constexpr const char* kMapTop = "map-top";

QString text_of(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QComboBox* channel_box(const std::string& chosen, bool with_always) {
    auto* box = new QComboBox;
    if (with_always) box->addItem(QString::fromLatin1(kAlways));
    for (const LogChannelInfo& c : log_channel_table())
        box->addItem(text_of(c.name));
    const int at = box->findText(QString::fromStdString(chosen));
    box->setCurrentIndex(std::max(at, 0));
    return box;
}

QComboBox* side_box(AlarmSide s) {
    auto* box = new QComboBox;
    box->addItems({QStringLiteral("above"), QStringLiteral("below")});
    box->setCurrentIndex(s == AlarmSide::above ? 0 : 1);
    return box;
}

QString number_text(double v) {
    return QString::number(v, 'g', 6);
}

}  // namespace

AlarmDialog::AlarmDialog(const AlarmSettings& settings, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AlarmDialog"));
    setWindowTitle(QStringLiteral("Alarms"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral(
        "An alarm turns its gauge and live value red, names itself in the status line, "
        "sounds, and marks the recording. It never changes the calibration.\n"
        "Defaults: Overboost above the map's top pressure (threshold map-top); "
        "Lean under boost: AFR above 12.5 while BOOST above 0.3 bar; "
        "Knock above 2.5 V; Hot intake air above 60 °C.")));
    layout->itemAt(0)->widget()->setProperty("wordWrap", true);
    table_ = new QTableWidget(0, column_count, this);
    for (int c = 0; c < column_count; ++c)
        table_->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kHeaders[c])));
    table_->verticalHeader()->hide();
    layout->addWidget(table_);
    sound_ = new QCheckBox(QStringLiteral("Play a sound when an alarm fires"), this);
    layout->addWidget(sound_);
    error_ = new QLabel(this);
    error_->setStyleSheet(QStringLiteral("color: #c00000"));
    layout->addWidget(error_);

    auto* row = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    auto* defaults = new QPushButton(QStringLiteral("Defaults"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    row->addWidget(add);
    row->addWidget(remove);
    row->addWidget(defaults);
    row->addStretch();
    row->addWidget(buttons);
    layout->addLayout(row);
    connect(add, &QPushButton::clicked, this, [this] {
        add_row({"New alarm", true, "RPM", AlarmSide::above, 7000.0, false, "", AlarmSide::above,
                 0.0, 0, 0.0});
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
    });
    connect(defaults, &QPushButton::clicked, this, [this] { fill(default_alarm_settings()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &AlarmDialog::accept_if_valid);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    fill(settings);
    resize(900, 360);
}

void AlarmDialog::fill(const AlarmSettings& settings) {
    table_->setRowCount(0);
    for (const AlarmRule& r : settings.rules)
        add_row(r);
    sound_->setChecked(settings.sound);
    table_->resizeColumnsToContents();
}

void AlarmDialog::add_row(const AlarmRule& r) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    auto* on_item = new QTableWidgetItem;
    on_item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    on_item->setCheckState(r.on ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, on, on_item);
    table_->setItem(row, name, new QTableWidgetItem(QString::fromStdString(r.name)));
    table_->setCellWidget(row, channel, channel_box(r.channel, false));
    table_->setCellWidget(row, side, side_box(r.side));
    table_->setItem(row, threshold,
                    new QTableWidgetItem(r.threshold_is_map_top ? QString::fromLatin1(kMapTop)
                                                                : number_text(r.threshold)));
    table_->setCellWidget(row, while_channel, channel_box(r.while_channel, true));
    table_->setCellWidget(row, while_side, side_box(r.while_side));
    table_->setItem(row, while_value, new QTableWidgetItem(number_text(r.while_value)));
    table_->setItem(row, hold, new QTableWidgetItem(QString::number(r.hold_ms)));
    table_->setItem(row, hysteresis, new QTableWidgetItem(number_text(r.hysteresis)));
}

std::optional<AlarmRule> AlarmDialog::read_row(int row, QString& error) const {
    auto text = [&](int c) { return table_->item(row, c)->text().trimmed(); };
    auto combo = [&](int c) { return static_cast<QComboBox*>(table_->cellWidget(row, c)); };
    auto number = [&](int c, double& out) {
        bool ok = false;
        out = text(c).toDouble(&ok);
        if (!ok || (c != threshold && c != while_value && out < 0)) {
            error = QStringLiteral("Row %1: \"%2\" is not a valid %3")
                        .arg(row + 1)
                        .arg(text(c), QString::fromLatin1(kHeaders[c]).toLower());
        }
        return ok && error.isEmpty();
    };
    AlarmRule r;
    r.on = table_->item(row, on)->checkState() == Qt::Checked;
    r.name = text(name).remove(QLatin1Char('|')).toStdString();
    if (r.name.empty()) r.name = "Alarm " + std::to_string(row + 1);
    r.channel = combo(channel)->currentText().toStdString();
    r.side = combo(side)->currentIndex() == 0 ? AlarmSide::above : AlarmSide::below;
    r.threshold_is_map_top = text(threshold) == QLatin1String(kMapTop);
    if (combo(while_channel)->currentIndex() > 0) {
        r.while_channel = combo(while_channel)->currentText().toStdString();
    }
    r.while_side = combo(while_side)->currentIndex() == 0 ? AlarmSide::above : AlarmSide::below;
    double hold_ms = 0.0;
    if ((!r.threshold_is_map_top && !number(threshold, r.threshold)) ||
        !number(while_value, r.while_value) || !number(hold, hold_ms) ||
        !number(hysteresis, r.hysteresis)) {
        return std::nullopt;
    }
    r.hold_ms = static_cast<std::uint32_t>(std::min(hold_ms, 600000.0));
    return r;
}

std::optional<AlarmSettings> AlarmDialog::settings() {
    AlarmSettings s;
    s.sound = sound_->isChecked();
    QString error;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto r = read_row(row, error);
        if (!r) {
            error_->setText(error);
            return std::nullopt;
        }
        s.rules.push_back(*r);
    }
    error_->clear();
    return s;
}

void AlarmDialog::accept_if_valid() {
    if (settings()) accept();
}

}  // namespace veloquin::gui
