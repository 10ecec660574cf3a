#include "core_harness.h"

CoreHarness::CoreHarness()
{
    book->journal = &journal;
    program = std::make_unique<frm_outlook>(Platform{
        DialogControls{window, send, cancel, tab, faxno, list, combo, notify},
        socket,
        tray,
        boxes,
        urls,
        timer,
        [this] { return open(); },
    });
}

void CoreHarness::Start()
{
    program->Form_Load();
}

void CoreHarness::Request(int32_t requestId)
{
    program->wsk_connect_ConnectionRequest(requestId);
}

void CoreHarness::Choose(const std::string &entryText)
{
    list.selected = list.Find(entryText);
    program->addressList_Click();
}

void CoreHarness::Type(const std::string &text)
{
    faxno.text = FromUtf8(text);
    program->txt_faxno_Change();
}

void CoreHarness::SelectTab(int page)
{
    const int previous = tab.page;
    tab.page = page;
    program->tab_addressselect_Click(previous);
}
