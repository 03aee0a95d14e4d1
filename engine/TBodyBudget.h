#pragma once
// The engine-wide bound on the decoded page bytes that downloads hold at once (see
// TFetchLimits): every body may grow to SmallBodyBytes without asking. Beyond that, its download
// takes one of the large places (BodyBudgetBytes / MaxBodyBytes of them, at least one) and keeps
// it until its page has been analysed; while all are taken, its transfer waits. So C downloads at
// once never hold more than C x SmallBodyBytes + BodyBudgetBytes of bodies, where C full-size
// pages would hold C x MaxBodyBytes; and since the holder of a large place never waits for
// another, no download can wait for one that waits for it.
// Worker threads take places; any thread gives them back (through TPlace's destructor).

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

class TBodyBudget {
public:
    // One large place, given back when destroyed. Movable, so it travels with its body.
    class TPlace {
    public:
        TPlace() = default;
        TPlace(TPlace&& Other) noexcept : m_budget(Other.m_budget) { Other.m_budget = nullptr; }
        TPlace& operator=(TPlace&& Other) noexcept;
        TPlace(const TPlace&) = delete;
        TPlace& operator=(const TPlace&) = delete;
        ~TPlace() { Release(); }
        explicit operator bool() const { return m_budget != nullptr; }
        void Release();

    private:
        friend class TBodyBudget;
        explicit TPlace(TBodyBudget* Budget) : m_budget(Budget) {}
        TBodyBudget* m_budget = nullptr;
    };

    // The budget of the engine's downloads.
    static TBodyBudget& Engine();

    // The number of large places that the limits allow.
    static int PlacesFor(std::size_t BodyBudgetBytes, std::size_t MaxBodyBytes);

    // Waits until fewer than Places are taken and takes one, or gives none once Cancelled
    // returns true (asked again whenever Wake is called, and at least every 50 ms).
    TPlace Take(int Places, const std::function<bool()>& Cancelled);
    // Wakes the waiting downloads, so that a stopped one leaves at once.
    void Wake();

    // For tests: places taken now, and the most taken at once since ResetPeak.
    int Taken() const;
    int PeakTaken() const;
    void ResetPeak();

private:
    void Give();

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    int m_taken = 0;
    int m_peak = 0;
};
