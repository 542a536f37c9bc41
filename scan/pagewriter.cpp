#include "scan/pagewriter.h"

#include <system_error>

namespace pd::scan {

PageWriter::~PageWriter()
{
    if (m_inFlight.valid())
        m_inFlight.wait();
}

void PageWriter::Add(std::function<void()> write)
{
    Finish();
    try {
        // A copy goes to the thread: when none can be started, the page is still here to write.
        m_inFlight = std::async(std::launch::async, write);
    } catch (const std::system_error&) {
        write();
    }
}

void PageWriter::Finish()
{
    if (m_inFlight.valid())
        m_inFlight.get();
}

} // namespace pd::scan
