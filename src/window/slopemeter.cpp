#include "Forms.h"
#include "SysUtils.h"
#include "Umain.h"

int main(int argc, char** argv)
{
    SetCommandLine(argc, argv);
    try {
        Application->Initialize();
        Application->CreateForm(&Form1);
        Application->Run();
    } catch (Exception& exception) {
        Application->ShowException(&exception);
    } catch (...) {
        try {
            throw Exception("");
        } catch (Exception& exception) {
            Application->ShowException(&exception);
        }
    }
    return 0;
}
