#pragma once
// The box the program shows when point storage cannot be allocated, before
// the store ends the process.

namespace nimbus {

// Shows "内存申请失败pos4！" under "警告" on the GUI thread and returns once
// the user has closed it. Callable from any thread.
void showAllocationWarning();

// Makes showAllocationWarning the store's allocation-failure handler.
void installAllocationWarning();

} // namespace nimbus
