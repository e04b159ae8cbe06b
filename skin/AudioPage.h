#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QSlider;
struct PlayerSettings;

// One entry of the Audio page's device list, in the output device list's order.
struct SetupDevice {
    std::string name; // UTF-8
    int32_t id = 0;   // output device identifier
};

// The setup sheet's "Audio" page (dialog 135): the master output device (drop-down 1016) and
// its block size in units of 128 frames (slider 1019), with the latency that block size gives
// at the output rate (text 1111).
class CAudioPage : public QWidget {
public:
    static constexpr int kMinBlocks = 1;
    static constexpr int kMaxBlocks = 128;
    static constexpr int kTickBlocks = 8;
    static constexpr int32_t kBlockFrames = 128;

    explicit CAudioPage(const std::vector<SetupDevice>& devices, QWidget* parent = nullptr);

    // Selects the device whose id is the setting (the first one when none is), sets the slider
    // to the block size and shows the latency at the setting's output rate.
    void Load(const PlayerSettings& settings);
    // The selected device's id (kept when the list is empty), block size = position x 128, and
    // the mark that the outputs are to be reopened.
    void Store(PlayerSettings& settings) const;

    // Position x 128 x 1000 / rate in whole milliseconds, rounded; "--" for a rate of 0.
    static QString LatencyText(int position, uint32_t rateHz);

private:
    void ShowLatency();

    std::vector<SetupDevice> m_devices;
    QComboBox* m_device = nullptr; // children of the page
    QSlider* m_blocks = nullptr;
    QLabel* m_latency = nullptr;
    uint32_t m_rateHz = 0; // output rate of the loaded settings
};
