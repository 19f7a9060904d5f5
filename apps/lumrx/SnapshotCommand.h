#pragma once
// lumrx snapshot: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int SnapshotCommand(CLumrxHost& host, const CLumrxOptions& options);
