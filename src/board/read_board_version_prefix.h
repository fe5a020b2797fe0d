// Board identification: asks WMI for every main-board record and keeps the
// prefix of the last record whose Version could be read.
#pragma once

#include "board/board_query_objects.h"
#include "board/board_version_prefix.h"
#include "board/step_result.h"

namespace flashgate {

// `Wmi` provides one function per WMI step, each returning its HRESULT:
//   BindServices(Services&)                  bind winmgmts:\\.\root\cimv2
//   ExecQuery(const Services&, ResultSet&)   "Select * from WIN32_BaseBoard", flags 48
//   StartWalk(const ResultSet&, Walker&)     enumerate the result set
//   NextRecord(const Walker&, Record&)       kStepOk with the next record, kStepNoMore at the end
//   ReadVersion(const Record&, BoardVersionPrefix&)  the record's "Version" as a prefix
// A step writes its output only when it succeeds. Failures are never reported:
// whatever a failed step would have set keeps its previous value.
template <class Wmi>
void ReadBoardVersionPrefix(Wmi& wmi, BoardVersionPrefix& prefix, BoardQueryObjects<Wmi>& objects) {
    // Each step needs what the one before it put in its slot; after a failure
    // that slot is empty and every later step could only fail, so stop here.
    if (StepFailed(wmi.BindServices(objects.services))) {
        return;
    }
    if (StepFailed(wmi.ExecQuery(objects.services, objects.resultSet))) {
        return;
    }
    if (StepFailed(wmi.StartWalk(objects.resultSet, objects.walker))) {
        return;
    }
    // The end of the records and a failure to move on both end the walk.
    while (wmi.NextRecord(objects.walker, objects.currentRecord) == kStepOk) {
        BoardVersionPrefix read;
        if (!StepFailed(wmi.ReadVersion(objects.currentRecord, read))) {
            prefix = read;
        }
    }
}

}  // namespace flashgate
