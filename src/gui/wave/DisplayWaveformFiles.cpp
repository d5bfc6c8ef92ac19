// The waveform window's files: the recording saved and read as .wave, the
// CSV exports, a file read as the plot's reference, and a read recording
// shown on the plot and in the channel lists.
#include "gui/wave/DisplayWaveform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>

#include "core/capture/WaveFile.h"
#include "core/i18n/StringTable.h"
#include "gui/plot/Cscope.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/FileDialogs.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {

void CDisplayWaveform::OnSave() { writeRecording(TableText(50055), QStringLiteral("wave"), hx::SaveWaveFile); }

void CDisplayWaveform::OnExportCsv() { writeRecording(TableText(50055), QStringLiteral("csv"), hx::ExportWaveCsv); }

void CDisplayWaveform::OnExportTableCsv() {
    writeRecording(tr("导出表格 CSV"), QStringLiteral("csv"), hx::ExportWaveTableCsv);
}

void CDisplayWaveform::writeRecording(const QString& title, const QString& suffix, RecordingWriter write) {
    if (m_recording.Empty()) {
        ShowMessage(this, TableText(50057), TableText(50058));
        return;
    }
    // The CSV filter in the window's language ("csv Files(*.csv)" in Chinese, as always).
    const QString filter =
        suffix == QStringLiteral("csv") ? tr("csv Files(*.csv)") : QStringLiteral("%1 Files(*.%1)").arg(suffix);
    const QString path = AskFile(this, {true, title, filter, suffix, {}});
    if (path.isEmpty()) return;
    // The path is checked before anything is written, and the file is
    // replaced in one step: a failure leaves the old file as it was.
    if (suffix == QStringLiteral("wave") && path.size() < 5) {
        ShowMessage(this, TableText(50056) + path);
        return;
    }
    std::string error;
    if (!write(path.toStdString(), m_recording, &error))
        ShowMessage(this, tr("无法保存文件 %1: %2").arg(path, QString::fromStdString(error)), {},
                    MessageIcon::Warning);
}

void CDisplayWaveform::OnLoad() {
    if (m_busy) {
        showBusy();
        return;
    }
    // The recording is replaced only by a file that was read: a cancel or an
    // unreadable file keeps it.
    std::optional<hx::WaveRecording> loaded = askWaveFile(TableText(50061));
    if (!loaded) return;
    m_recording = std::move(*loaded);
    m_codes = m_recording.codes;
    m_intervalUs = m_recording.intervalUs;
    setPointsPerChannel(m_recording.pointsPerChannel);
    showRecordedWindow(0, m_pointsPerChannel);
}

std::optional<hx::WaveRecording> CDisplayWaveform::askWaveFile(const QString& title) {
    const QString path = AskFile(this, {false, title, QStringLiteral("wave Files(*.wave)"), QStringLiteral("wave"), {}});
    if (path.isEmpty()) return std::nullopt;
    if (path.size() < 5) {
        ShowMessage(this, TableText(50056) + path);
        return std::nullopt;
    }
    hx::WaveRecording loaded;
    std::string error;
    if (!hx::LoadWaveFile(path.toStdString(), &loaded, &error)) {
        ShowMessage(this, tr("无法读取文件 %1: %2").arg(path, QString::fromStdString(error)), {},
                    MessageIcon::Warning);
        return std::nullopt;
    }
    return loaded;
}

void CDisplayWaveform::OnLoadReference() {
    const std::optional<hx::WaveRecording> loaded = askWaveFile(tr("读入为参考"));
    if (!loaded) return;
    // Channel by channel, as the file recorded them: the reference is drawn
    // in the scale of whatever the live channel of that number shows.
    const hx::RecordedWindow all = hx::ShowRecordedWindow(*loaded, 0, loaded->recordedPoints);
    std::array<std::vector<hx::plot::PlotPointF>, 4> channels;
    for (int k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < all.samples[k].size(); ++i)
            channels[k].push_back({static_cast<float>(i), all.samples[k][i]});
    m_scope->SetReference(channels);
}

void CDisplayWaveform::showRecordedWindow(int start, int count) {
    // Back to the whole view first: the ranges below are set on the level in
    // view, and a zoomed level would keep them while level 0 kept the old.
    m_scope->ClearPoints();
    m_scope->SetChannelTypes(m_codes[0], m_codes[1], m_codes[2], m_codes[3]);
    m_scope->SetXRange(0, static_cast<float>(count), 2);
    m_scope->SetAxisValues(static_cast<float>(start) * m_intervalUs, static_cast<float>(start + count) * m_intervalUs);
    for (int k = 1; k <= 4; ++k) m_scope->SetChannelRange(k, -5, 5);
    m_shown = hx::ShowRecordedWindow(m_recording, start, count);
    OnUiThread(this, [this] { plotShown(); });
}

void CDisplayWaveform::plotShown() {
    if (m_closing || !m_scope) return;
    for (int k = 0; k < 4; ++k)
        if (m_codes[k] != 0) m_scope->SetChannelVisible(k + 1, true);
    m_scope->ShowCapture(m_shown.samples, m_shown.shown);
    selectChannelsFromCodes();
    m_interval->setCurrentIndex(1);  // "100"
    emit showLoaded();
}

void CDisplayWaveform::selectChannelsFromCodes() {
    // Each list shows the source of its loaded code, found by the same bit
    // codes a capture writes; a code the drive does not offer shows the
    // empty entry. Plotting and saving use the codes themselves.
    for (int k = 0; k < 4; ++k) {
        m_check[k]->setChecked(m_codes[k] != 0);
        int entry = 0;
        for (int i = 1; i < m_channel[k]->count(); ++i)
            if (m_codes[k] != 0 && m_channel[k]->itemData(i).toInt() == m_codes[k]) entry = i;
        QSignalBlocker block(m_channel[k]);
        m_channel[k]->setCurrentIndex(entry);
    }
}

}  // namespace hx::gui
