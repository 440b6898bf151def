#pragma once

#include "Classes.h"

class Process;
class TImage;

class Scanner : public TThread {
public:
    Scanner(bool createSuspended, TImage* image, const Construction& construction = {});

protected:
    void Execute() override;

private:
    TImage* FImage;
    Process* FProcess = nullptr;
};
