#pragma once

class MainWindow;

// `periphd --simulate`: the simulated devices stand behind the USB layer, so
// a page can try the whole signing flow without a pad. Off by default.
void enableSimulation();
bool simulationEnabled();

// When simulating, lets the mouse write on the window as the pen does: its
// strokes become reports of the simulated pad and travel the sampling
// thread like real ones. Does nothing otherwise.
void attachSimulatedPen(MainWindow* window);
