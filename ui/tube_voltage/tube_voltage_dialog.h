#pragma once
// Placeholder until the tube-voltage dialog lands.
