#pragma once

#include "message_window.h"
#include "platform.h"

#include <functional>

// A repeating timer whose ticks arrive on the GUI thread.
class WinTimer final : public Timer {
public:
    explicit WinTimer(std::function<void()> tick = {})
        : m_tick(std::move(tick)), m_window([this](UINT message, WPARAM, LPARAM) {
              if (message == WM_TIMER && m_active && m_tick)
                  m_tick();
              return LRESULT(0);
          })
    {
    }
    ~WinTimer() override { Stop(); }
    void SetTick(std::function<void()> tick) { m_tick = std::move(tick); }
    void Start(int intervalMs) override
    {
        m_active = true;
        SetTimer(m_window.Handle(), 1, UINT(intervalMs), nullptr);
    }
    void Stop() override
    {
        m_active = false;
        KillTimer(m_window.Handle(), 1);
    }
    bool Active() const override { return m_active; }

private:
    std::function<void()> m_tick;
    bool m_active = false;
    MessageWindow m_window;
};
