// Copies of the configuration files (snapshots, presets, USB and web
// exchange) and their resets.
#pragma once

// Delete configuration.xml, control_net.xml or configuration_factory.xml.
int XML_ResetConfig();
int XML_ResetNetConfig();
int XML_ResetFactoryConfig();
