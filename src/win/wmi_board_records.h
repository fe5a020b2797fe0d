// The WMI steps of board identification, made through WMI's scripting objects
// as a script client makes them.
#pragma once

#include <windows.h>
#include <wbemdisp.h>
#include <wrl/client.h>

#include "board/board_version_prefix.h"

namespace flashgate::win {

class WmiBoardRecords {
public:
    using Services = Microsoft::WRL::ComPtr<ISWbemServices>;
    using ResultSet = Microsoft::WRL::ComPtr<ISWbemObjectSet>;
    using Walker = Microsoft::WRL::ComPtr<IEnumVARIANT>;
    using Record = Microsoft::WRL::ComPtr<IDispatch>;

    HRESULT BindServices(Services& services);
    HRESULT ExecQuery(const Services& services, ResultSet& resultSet);
    HRESULT StartWalk(const ResultSet& resultSet, Walker& walker);
    HRESULT NextRecord(const Walker& walker, Record& record);
    HRESULT ReadVersion(const Record& record, BoardVersionPrefix& prefix);
};

// A Version value as a script client reads it: text is taken as it is, null is
// valueless, empty is empty text, and anything else is converted to text; a
// value that cannot be converted is a Version that cannot be read.
HRESULT VersionPrefixFromVariant(const VARIANT& version, BoardVersionPrefix& prefix);

}  // namespace flashgate::win
