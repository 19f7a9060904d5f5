#pragma once
// lumrx xmltv: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int XmltvCommand(CLumrxHost& host, const CLumrxOptions& options);
