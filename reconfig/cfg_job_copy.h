// Internal to the jobs: the copy and move plumbing both job classes share,
// the parts of a poll pass both lists share, and the poll pass over one job
// alone.
#pragma once
#include "reconfig/cfg_job_base.h"
#include "reconfig/cfg_channel.h"

template <class T> T CCfgJobBase::Locked(const T& field) {
    std::lock_guard<std::mutex> lk(CfgJobLock());
    return field;
}

template <class Job> void CCfgJobBase::CopyJob(Job& to, const Job& from) {
    std::lock_guard<std::mutex> lk(CfgJobLock());
    to.CopySettings(from);
}

template <class Job> Job& CCfgJobBase::AssignJob(Job& to, const Job& from) {
    if (&to != &from) {
        to.LetGo();
        CopyJob(to, from);
    }
    return to;
}

template <class Job> void CCfgJobBase::MoveJob(Job& to, Job& from) {
    std::lock_guard<std::mutex> lk(CfgJobLock());
    to.TakeOver(from);
}

template <class Job> Job& CCfgJobBase::MoveAssignJob(Job& to, Job& from) {
    if (&to != &from) {
        to.LetGo();
        MoveJob(to, from);
    }
    return to;
}

template <class Job> template <class Want, class Act> void CCfgJobListOf<Job>::SelectRaw(Want want, Act act) {
    fd_set sets[3];
    for (fd_set& set : sets) FD_ZERO(&set);
    bool any = false;
    for (Job* job : m_jobs) {
        SOCKET s = job->m_socket.get();
        if (s == INVALID_SOCKET) continue;
        unsigned wanted = want(job->GetState());
        for (int i = 0; i < 3; ++i) {
            if (!(wanted & (1u << i))) continue;
            if (sets[i].fd_count < FD_SETSIZE && !FD_ISSET(s, &sets[i])) FD_SET(s, &sets[i]);
            any = true;
        }
    }
    if (!any) return;
    timeval tv = {0, 100 * 1000};
    select(0, &sets[0], &sets[1], &sets[2], &tv);
    for (Job* job : m_jobs) {
        SOCKET s = job->m_socket.get();
        if (s == INVALID_SOCKET) continue;
        unsigned ready = 0;
        for (int i = 0; i < 3; ++i)
            if (FD_ISSET(s, &sets[i])) ready |= 1u << i;
        act(job, job->GetState(), ready);
    }
}

template <class Job>
template <class Wake, class Move>
void CCfgJobListOf<Job>::WaitAndMove(DWORD deadline, Wake wake, Move move) {
    for (;;) {
        std::vector<HANDLE> events;
        for (Job* job : m_jobs)
            if (HANDLE h = wake(job)) events.push_back(h);
        if (!CfgWaitWithin(events, deadline)) break;
        move();
    }
}

// The job is lent to a list of its own for one pass, never given.
template <class List, class Job, class... Args> int CfgPollAlone(Job& job, Args... args) {
    List list;
    list.AddHead(&job);
    struct GiveBack {
        List& l;
        ~GiveBack() { l.RemoveHead(); }  // the list must not delete it
    } giveBack{list};
    return List::Poll(list, args...);
}
