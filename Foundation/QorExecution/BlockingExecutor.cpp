#include "QorExecution/BlockingExecutor.h"

namespace Nolvar::Core {

int BlockingExecutor::execQueue(const std::shared_ptr<ITaskQueue>& queue) {
    int ran = 0;
    while (!m_aborted.load() && queue->execOne()) ran = 1;
    return ran;
}

void BlockingExecutor::abort() { m_aborted.store(true); }

} // namespace Nolvar::Core
