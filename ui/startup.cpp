// Start-up: the objects the window and the workers share, made in this order
// before the window exists; none is ever released.
#include <objbase.h>

#include "engine/whirlpool.h"
#include "store/operation_state.h"
#include "ui/target_text.h"
#include "ui/window.h"

HINSTANCE ModuleInstance;
ITaskbarList3* TaskbarProgress;

void PrepareProcess() {
    ModuleInstance = GetModuleHandleW(nullptr);
    CoInitialize(nullptr);
    // No method is called here (not even HrInit); null when creation failed.
    TaskbarProgress = nullptr;
    CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                     reinterpret_cast<void**>(&TaskbarProgress));
    AllocateTargetText();
    BuildWhirlpoolTables();
    // Creates PauseGate: manual reset, signalled.
    InitOperationState();
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
}

INT_PTR RunMainDialog() {
    return DialogBoxParamW(ModuleInstance, L"DLG", nullptr, MainDialogProcedure, 0);
}
