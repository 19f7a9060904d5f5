#pragma once
// lumrx record: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int RecordCommand(CLumrxHost& host, const CLumrxOptions& options);
