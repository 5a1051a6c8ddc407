/** The probe application as a named module, started as "/probe/probe.Probe". */
module probe {
}
