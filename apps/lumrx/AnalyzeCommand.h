#pragma once
// lumrx analyze: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int AnalyzeCommand(CLumrxHost& host, const CLumrxOptions& options);
