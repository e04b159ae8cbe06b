#include "ControlClassTable.h"
#include "LevelMonitorControl.h"
#include "MarkerDisplayControl.h"
#include "MixTrackView.h"
#include "SelectorControl.h"
#include "ShadeArea.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "WaveDisplayControl.h"
#include "WindowsControlHost.h"

#include <mutex>

void RegisterSkinControlClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        CControlClassTable::RegisterControlClass(&CSwitchControl::ClassName, &CSwitchControl::Create);
        CControlClassTable::RegisterControlClass(&CSelectorControl::ClassName, &CSelectorControl::Create);
        CControlClassTable::RegisterControlClass(&CTextControl::ClassName, &CTextControl::Create);
        CControlClassTable::RegisterControlClass(&CWaveDisplayControl::ClassName,
                                                 &CWaveDisplayControl::Create);
        CControlClassTable::RegisterControlClass(&CMarkerDisplayControl::ClassName,
                                                 &CMarkerDisplayControl::Create);
        CControlClassTable::RegisterControlClass(&CLevelMonitorControl::ClassName,
                                                 &CLevelMonitorControl::Create);
        CControlClassTable::RegisterControlClass(&CWindowsControlHost::ClassName,
                                                 &CWindowsControlHost::Create);
        CControlClassTable::RegisterControlClass(&CMixTrackView::ClassName, &CMixTrackView::Create);
        CControlClassTable::RegisterControlClass(&CShadeArea::ClassName, &CShadeArea::Create);
    });
}
