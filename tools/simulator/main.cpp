// The simulator's command line: a scenario run or a soak.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "scenario.h"
#include "simulation.h"

namespace
{
void PrintUsage()
{
    fputs(
        "simulator [--scenario FILE] [--output FOLDER] [--soak SECONDS [--seed N]]\n"
        "  Runs the host over the simulated driver and webcam; without a scenario file it\n"
        "  plays the built-in one. The default output folder is build\\simulator-output.\n"
        "  --soak runs clients, webcam losses and suspensions at random instead.\n",
        stderr);
}
}  // namespace

int main(int argc, char** argv)
{
    std::wstring outputFolder = L"build\\simulator-output";
    Scenario scenario = MakeDefaultScenario();
    double dSoakSeconds = 0;
    unsigned nSeed = 1;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg == "--scenario" && i + 1 < argc)
        {
            std::ifstream file(argv[++i]);
            std::stringstream text;
            text << file.rdbuf();
            std::string error;
            if (!file || !ParseScenario(text.str(), &scenario, &error))
            {
                fprintf(stderr, "Scenario %s: %s\n", argv[i], file ? error.c_str() : "cannot read");
                return 2;
            }
        }
        else if (arg == "--soak" && i + 1 < argc)
        {
            dSoakSeconds = atof(argv[++i]);
            if (dSoakSeconds < 8)
            {
                fprintf(stderr, "--soak needs at least 8 seconds\n");
                return 2;
            }
        }
        else if (arg == "--seed" && i + 1 < argc)
        {
            nSeed = static_cast<unsigned>(strtoul(argv[++i], NULL, 10));
        }
        else if (arg == "--output" && i + 1 < argc)
        {
            outputFolder = Widen(argv[++i]);
        }
        else
        {
            PrintUsage();
            return 2;
        }
    }
    if (dSoakSeconds > 0)
    {
        // The soak makes its own clients and events over the default webcam.
        scenario = MakeDefaultScenario();
        scenario.clients.clear();
        scenario.events.clear();
    }
    bool bOk = false;
    {
        Simulation simulation(scenario);
        bOk =
            dSoakSeconds > 0 ? simulation.Soak(dSoakSeconds, nSeed) : simulation.Run(outputFolder);
    }
    return bOk ? 0 : 1;
}
