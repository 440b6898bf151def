#include "Forms.h"
#include "Umain.h"

int main()
{
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
