#include "TBodyBudget.h"

#include <algorithm>
#include <chrono>

TBodyBudget::TPlace& TBodyBudget::TPlace::operator=(TPlace&& Other) noexcept {
    if (this != &Other) {
        Release();
        m_budget = Other.m_budget;
        Other.m_budget = nullptr;
    }
    return *this;
}

void TBodyBudget::TPlace::Release() {
    if (m_budget) m_budget->Give();
    m_budget = nullptr;
}

TBodyBudget& TBodyBudget::Engine() {
    // Never destroyed: a worker left to end alone may give its place back during exit.
    static TBodyBudget* const budget = new TBodyBudget;
    return *budget;
}

int TBodyBudget::PlacesFor(std::size_t BodyBudgetBytes, std::size_t MaxBodyBytes) {
    const std::size_t places = BodyBudgetBytes / std::max<std::size_t>(1, MaxBodyBytes);
    return static_cast<int>(std::clamp<std::size_t>(places, 1, 1 << 20));
}

TBodyBudget::TPlace TBodyBudget::Take(int Places, const std::function<bool()>& Cancelled) {
    std::unique_lock<std::mutex> lock(m_lock);
    while (m_taken >= Places) {
        if (Cancelled()) return {};
        m_changed.wait_for(lock, std::chrono::milliseconds(50));
    }
    ++m_taken;
    m_peak = std::max(m_peak, m_taken);
    return TPlace(this);
}

void TBodyBudget::Wake() {
    m_changed.notify_all();
}

void TBodyBudget::Give() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        --m_taken;
    }
    m_changed.notify_all();
}

int TBodyBudget::Taken() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_taken;
}

int TBodyBudget::PeakTaken() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_peak;
}

void TBodyBudget::ResetPeak() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_peak = m_taken;
}
