#include "base/metrics/histogram.h"

#include <limits>
#include <thread>
#include <vector>

#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(HistogramTest, FactoriesRegisterOnceByName) {
  EXPECT_EQ(nullptr, StatisticsRecorder::FindHistogram("Test.Registry"));
  HistogramBase* first = Histogram::FactoryGet("Test.Registry", 0, 2147483647, 50000, 1);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, StatisticsRecorder::FindHistogram("Test.Registry"));
  // A second request by the same name gets the same histogram, whatever
  // limits it asks for.
  EXPECT_EQ(first, Histogram::FactoryGet("Test.Registry", 5, 10, 3, 0));
  EXPECT_EQ("Test.Registry", first->histogram_name());
  EXPECT_EQ(1, first->declared_min());
  EXPECT_EQ(2147483646, first->declared_max());
  EXPECT_EQ(Histogram::kBucketCountLimit, first->bucket_count());
  EXPECT_EQ(HISTOGRAM, first->type());

  HistogramBase* linear = LinearHistogram::FactoryGet("Test.Linear", 6, 7);
  EXPECT_EQ(LINEAR_HISTOGRAM, linear->type());
  EXPECT_EQ(1, linear->declared_min());
  EXPECT_EQ(6, linear->declared_max());
  EXPECT_EQ(HistogramBase::kUmaTargetedHistogramFlag, linear->flags());

  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.Sparse", 0);
  EXPECT_EQ(SPARSE_HISTOGRAM, sparse->type());
  EXPECT_EQ(HistogramBase::kUmaTargetedHistogramFlag, sparse->flags());

  HistogramBase* timed = Histogram::FactoryTimeGet("Test.Time", TimeDelta::FromMilliseconds(1),
                                                   TimeDelta::FromSeconds(10), 50, 1);
  EXPECT_EQ(10000, timed->declared_max());
}

TEST(HistogramTest, SamplesAreCountedPerValueAcrossThreads) {
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.Counts", 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([sparse, t] {
      for (int i = 0; i < 1000; ++i)
        sparse->Add(i % 2 == 0 ? -5 : t);
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(2000, sparse->GetCount(-5));
  EXPECT_EQ(500, sparse->GetCount(3));
  EXPECT_EQ(0, sparse->GetCount(4));
  EXPECT_EQ(4000, sparse->TotalCount());

  HistogramBase* timed = Histogram::FactoryTimeGet("Test.TimeCounts", TimeDelta::FromMilliseconds(1),
                                                   TimeDelta::FromSeconds(10), 50, 1);
  timed->AddTime(TimeDelta::FromMicroseconds(2999));
  timed->AddTime(TimeDelta::Max());
  EXPECT_EQ(1, timed->GetCount(2));
  EXPECT_EQ(1, timed->GetCount(std::numeric_limits<int>::max()));
}

}  // namespace
}  // namespace base
