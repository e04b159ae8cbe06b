#include "AudioPage.h"

#include "DialogText.h"
#include "PlayerSettings.h"
#include "StringIds.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel* Note(int32_t id)
{
    auto* note = new QLabel(DialogText(id));
    note->setWordWrap(true);
    return note;
}

} // namespace

CAudioPage::CAudioPage(const std::vector<SetupDevice>& devices, QWidget* parent)
    : QWidget(parent), m_devices(devices)
{
    setObjectName(QStringLiteral("135"));
    auto* general = new QGroupBox(DialogText(StringId::AudioGeneral));
    auto* grid = new QGridLayout(general);

    m_device = new QComboBox;
    m_device->setObjectName(QStringLiteral("1016"));
    for (const SetupDevice& device : m_devices)
        m_device->addItem(QString::fromStdString(device.name), device.id);
    // Device names can be long ("ALSA: " + a card's description): show them whole.
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    m_blocks = new QSlider(Qt::Horizontal);
    m_blocks->setObjectName(QStringLiteral("1019"));
    m_blocks->setRange(kMinBlocks, kMaxBlocks);
    m_blocks->setTickInterval(kTickBlocks);
    m_blocks->setTickPosition(QSlider::TicksBelow);
    m_blocks->setSingleStep(1);
    m_blocks->setPageStep(kTickBlocks);
    m_blocks->setMinimumWidth(220);

    m_latency = new QLabel(QStringLiteral("1000"));
    m_latency->setObjectName(QStringLiteral("1111"));
    m_latency->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for "1000" at any font, so the row does not jump while the slider moves.
    m_latency->setMinimumWidth(m_latency->fontMetrics().horizontalAdvance(QStringLiteral("00000")));

    auto* deviceLabel = new QLabel(DialogText(StringId::AudioDevice));
    deviceLabel->setBuddy(m_device);
    auto* latencyLabel = new QLabel(DialogText(StringId::AudioLatency));
    latencyLabel->setBuddy(m_blocks);
    grid->addWidget(deviceLabel, 0, 0);
    grid->addWidget(m_device, 0, 1, 1, 3);
    grid->addWidget(latencyLabel, 1, 0);
    grid->addWidget(m_blocks, 1, 1);
    grid->addWidget(m_latency, 1, 2);
    grid->addWidget(new QLabel(DialogText(StringId::AudioMs)), 1, 3);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(Note(StringId::AudioDeviceNote));
    layout->addWidget(Note(StringId::AudioLatencyNote));
    layout->addWidget(Note(StringId::AudioCdNote));
    layout->addStretch(1);

    // Keyboard, mouse and programmatic moves all pass through the value.
    connect(m_blocks, &QSlider::valueChanged, this, [this] { ShowLatency(); });
}

void CAudioPage::Load(const PlayerSettings& settings)
{
    int selected = 0;
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].id == settings.outputDevice) {
            selected = static_cast<int>(i);
            break;
        }
    }
    if (!m_devices.empty())
        m_device->setCurrentIndex(selected);
    m_rateHz = settings.outputFrequency;
    m_blocks->setValue(std::clamp(settings.outputBlockSize / kBlockFrames, kMinBlocks, kMaxBlocks));
    ShowLatency();
}

void CAudioPage::Store(PlayerSettings& settings) const
{
    const int selected = m_device->currentIndex();
    if (selected >= 0 && static_cast<size_t>(selected) < m_devices.size())
        settings.outputDevice = m_devices[static_cast<size_t>(selected)].id;
    settings.outputBlockSize = m_blocks->value() * kBlockFrames;
    settings.outputChanged = true;
}

QString CAudioPage::LatencyText(int position, uint32_t rateHz)
{
    if (rateHz == 0)
        return QStringLiteral("--");
    // Rounded to nearest in integers: floor(x + 1/2) = (2 num + den) / (2 den).
    const uint64_t numerator = static_cast<uint64_t>(position) * kBlockFrames * 1000u;
    return QString::number((2 * numerator + rateHz) / (2u * static_cast<uint64_t>(rateHz)));
}

void CAudioPage::ShowLatency()
{
    m_latency->setText(LatencyText(m_blocks->value(), m_rateHz));
}
