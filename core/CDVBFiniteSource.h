#pragma once
// What a source that can run out (a file played once) offers besides the source calls:
// a host asks it, through dynamic_cast, whether every byte has been delivered, so that it
// need not wait for a second of silence to know. Live sources never end and do not
// derive from it.
class CDVBFiniteSource
{
public:
    virtual ~CDVBFiniteSource();
    // True once the last byte has been handed to the receiver.
    virtual bool HasEnded() = 0;
};
