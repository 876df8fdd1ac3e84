// One request at a time in the process: two would share temp.ini and temp.qxl. A page that calls
// again from inside its own running request (the request's boxes and dialogs take the page's
// messages) gets nothing done. A request from another thread (another page of the browser) waits
// until the running one has ended, taking its own thread's messages meanwhile so that its page
// stays responsive, and then runs.
#pragma once

class CRequestSlot {
public:
    // `pszMethod` names the request in the trace lines.
    explicit CRequestSlot(const char* pszMethod);
    ~CRequestSlot();
    CRequestSlot(const CRequestSlot&) = delete;
    CRequestSlot& operator=(const CRequestSlot&) = delete;

    // Whether the request may run.
    bool IsHeld() const { return m_bHeld; }

private:
    bool m_bHeld = false;
    bool m_bMarkedThread = false;
};
