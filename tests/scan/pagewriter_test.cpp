#include <algorithm>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "scan/pagewriter.h"

namespace pd::scan {
namespace {

// What the pages' writes did, in order, from whichever thread.
class Record {
public:
    void Add(std::string event)
    {
        std::lock_guard guard(m_lock);
        m_events.push_back(std::move(event));
    }
    std::vector<std::string> Events()
    {
        std::lock_guard guard(m_lock);
        return m_events;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_events;
};

TEST(PageWriter, WritesEachPageOffTheCallersThreadInTheOrderAdded)
{
    Record record;
    std::vector<std::thread::id> writers;
    {
        PageWriter writer;
        for (int page = 1; page <= 5; ++page) {
            writer.Add([&, page] {
                writers.push_back(std::this_thread::get_id());
                record.Add("page " + std::to_string(page));
            });
        }
        writer.Finish();
    }
    EXPECT_EQ(record.Events(), (std::vector<std::string> { "page 1", "page 2", "page 3", "page 4", "page 5" }));
    ASSERT_EQ(writers.size(), 5u);
    for (const std::thread::id& id : writers)
        EXPECT_NE(id, std::this_thread::get_id());
}

TEST(PageWriter, NextPageWaitsUntilThePageInFlightIsWritten)
{
    Record record;
    PageWriter writer;
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    writer.Add([&, released] {
        started.set_value();
        released.wait();
        record.Add("page 1 written");
    });
    started.get_future().wait();
    std::thread next([&] {
        writer.Add([&] { record.Add("page 2 started"); });
        record.Add("page 2 handed over");
    });
    // A writer that let two pages into memory at once would start page 2 now.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    record.Add("page 1 released");
    release.set_value();
    next.join();
    writer.Finish();
    const std::vector<std::string> events = record.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], "page 1 released");
    EXPECT_EQ(events[1], "page 1 written");
    // Page 2 may start before or after its hand-over returns, never before page 1 is written.
    EXPECT_NE(std::find(events.begin() + 2, events.end(), "page 2 started"), events.end());
}

TEST(PageWriter, FailedPageIsRethrownOnceAtTheNextHandOverOrAtTheEnd)
{
    const struct {
        const char* name;
        bool thenAdd; // a further page follows the failed one
    } cases[] = {
        { "at the next page", true },
        { "at the end", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record record;
        PageWriter writer;
        writer.Add([] { throw std::runtime_error("disk full"); });
        try {
            if (c.thenAdd)
                writer.Add([&] { record.Add("page after the failed one"); });
            else
                writer.Finish();
            ADD_FAILURE() << "the page's error went missing";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "disk full");
        }
        // The page handed over with the error is not written; the writer goes on afterwards.
        EXPECT_TRUE(record.Events().empty());
        EXPECT_NO_THROW(writer.Finish());
        writer.Add([&] { record.Add("later page"); });
        EXPECT_NO_THROW(writer.Finish());
        EXPECT_EQ(record.Events(), std::vector<std::string> { "later page" });
    }
}

TEST(PageWriter, FinishLetsGoOfThePageAndGoingOutOfScopeWaitsForIt)
{
    Record record;
    std::shared_ptr<int> page = std::make_shared<int>(1);
    const std::weak_ptr<int> pageMemory = page;
    PageWriter writer;
    writer.Add([&record, page] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        record.Add("first written");
    });
    page.reset();
    writer.Finish();
    // The next page's bitmap takes this memory only once nothing holds it any more.
    EXPECT_TRUE(pageMemory.expired());
    {
        PageWriter ending;
        ending.Add([&record] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            record.Add("last written");
        });
        PageWriter failing;
        failing.Add([] { throw std::runtime_error("lost"); });
    }
    EXPECT_EQ(record.Events(), (std::vector<std::string> { "first written", "last written" }));
}

} // namespace
} // namespace pd::scan
