// Internal to the jobs: the copy and move plumbing both job classes share,
// and the poll pass over one job alone.
#pragma once
#include "reconfig/cfg_job_base.h"
#include "reconfig/cfg_channel.h"

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
