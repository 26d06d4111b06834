// Every host suite the holder knows, in its fixed order, which is also the order of release.
// FXAA_SUITE(accessor, name, version, table type); entries the effect never uses have type void.
// Each (name, version) is its own slot, so two versions of one suite are independent.
#define FXAA_SUITE_TABLE(FXAA_SUITE)                                                         \
  FXAA_SUITE(AEGPMarkerSuite1, "AEGP Marker Suite", 1, void)                                 \
  FXAA_SUITE(AEGPMarkerSuite2, "AEGP Marker Suite", 2, void)                                 \
  FXAA_SUITE(AEGPMarkerSuite3, "AEGP Marker Suite", 3, void)                                 \
  FXAA_SUITE(AEGPLayerSuite8, "AEGP Layer Suite", 8, void)                                   \
  FXAA_SUITE(AEGPLayerSuite10, "AEGP Layer Suite", 10, void)                                 \
  FXAA_SUITE(AEGPStreamSuite10, "AEGP Stream Suite", 10, void)                               \
  FXAA_SUITE(AEGPStreamSuite9, "AEGP Stream Suite", 9, void)                                 \
  FXAA_SUITE(AEGPStreamSuite8, "AEGP Stream Suite", 8, void)                                 \
  FXAA_SUITE(AEGPStreamSuite7, "AEGP Stream Suite", 7, AEGP_StreamSuite2)                    \
  FXAA_SUITE(AEGPStreamSuite4, "AEGP Stream Suite", 4, void)                                 \
  FXAA_SUITE(AEGPDynamicStreamSuite2, "AEGP Dynamic Stream Suite", 2, AEGP_DynamicStreamSuite2) \
  FXAA_SUITE(AEGPDynamicStreamSuite3, "AEGP Dynamic Stream Suite", 3, void)                  \
  FXAA_SUITE(AEGPDynamicStreamSuite5, "AEGP Dynamic Stream Suite", 5, void)                  \
  FXAA_SUITE(AEGPKeyframeSuite4, "AEGP Keyframe Suite", 4, void)                             \
  FXAA_SUITE(AEGPKeyframeSuite3, "AEGP Keyframe Suite", 3, void)                             \
  FXAA_SUITE(AEGPKeyframeSuite1, "AEGP Keyframe Suite", 1, void)                             \
  FXAA_SUITE(AEGPCompSuite9, "AEGP Comp Suite", 9, void)                                     \
  FXAA_SUITE(AEGPCompSuite11, "AEGP Comp Suite", 11, void)                                   \
  FXAA_SUITE(AEGPCompSuite14, "AEGP Comp Suite", 14, void)                                   \
  FXAA_SUITE(AEGPCompSuite15, "AEGP Comp Suite", 15, void)                                   \
  FXAA_SUITE(AEGPCompSuite18, "AEGP Comp Suite", 18, void)                                   \
  FXAA_SUITE(AEGPCompSuite19, "AEGP Comp Suite", 19, void)                                   \
  FXAA_SUITE(AEGPCompSuite21, "AEGP Comp Suite", 21, void)                                   \
  FXAA_SUITE(AEGPCompSuite25, "AEGP Comp Suite", 25, void)                                   \
  FXAA_SUITE(AEGPCanvasSuite10, "AEGP Canvas Suite", 10, void)                               \
  FXAA_SUITE(AEGPCanvasSuite11, "AEGP Canvas Suite", 11, void)                               \
  FXAA_SUITE(AEGPCanvasSuite13, "AEGP Canvas Suite", 13, void)                               \
  FXAA_SUITE(AEGPCanvasSuite14, "AEGP Canvas Suite", 14, void)                               \
  FXAA_SUITE(AEGPCameraSuite2, "AEGP Camera Suite", 2, void)                                 \
  FXAA_SUITE(AEGPRegisterSuite6, "AEGP Register Suite", 6, void)                             \
  FXAA_SUITE(AEGPItemViewSuite1, "AEGP Item View Suite", 1, void)                            \
  FXAA_SUITE(AEGPItemSuite13, "AEGP Item Suite", 13, void)                                   \
  FXAA_SUITE(AEGPItemSuite11, "AEGP Item Suite", 11, void)                                   \
  FXAA_SUITE(AEGPItemSuite10, "AEGP Item Suite", 10, void)                                   \
  FXAA_SUITE(AEGPItemSuite7, "AEGP Item Suite", 7, void)                                     \
  FXAA_SUITE(AEGPItemSuite3, "AEGP Item Suite", 3, void)                                     \
  FXAA_SUITE(AEGPPFInterfaceSuite1, "AEGP PF Interface Suite", 1, AEGP_PFInterfaceSuite1)    \
  FXAA_SUITE(AEGPMathSuite1, "AEGP Math Suite", 1, void)                                     \
  FXAA_SUITE(PFAEAdvTimeSuite4, "PF AE Adv Time Suite", 4, void)                             \
  FXAA_SUITE(PFPathQuerySuite1, "PF Path Query Suite", 1, void)                              \
  FXAA_SUITE(AEGPMemorySuite1, "AEGP Memory Suite", 1, void)                                 \
  FXAA_SUITE(PFPathDataSuite1, "PF Path Data Suite", 1, void)                                \
  FXAA_SUITE(PFParamUtilsSuite3, "PF Param Utils Suite", 3, void)                            \
  FXAA_SUITE(PFAEAppSuite6, "PF AE App Suite", 6, void)                                      \
  FXAA_SUITE(PFAEAppSuite7, "PF AE App Suite", 7, void)                                      \
  FXAA_SUITE(PFAEAppSuite1, "PF AE App Suite", 1, void)                                      \
  FXAA_SUITE(PFAEAdvAppSuite2, "PF AE Adv App Suite", 2, void)                               \
  FXAA_SUITE(AEGPLightSuite1, "AEGP Light Suite", 1, void)                                   \
  FXAA_SUITE(AEGPLightSuite2, "AEGP Light Suite", 2, void)                                   \
  FXAA_SUITE(AEGPEffectSuite1, "AEGP Effect Suite", 1, void)                                 \
  FXAA_SUITE(AEGPEffectSuite2, "AEGP Effect Suite", 2, AEGP_EffectSuite2)                    \
  FXAA_SUITE(AEGPEffectSuite3, "AEGP Effect Suite", 3, void)                                 \
  FXAA_SUITE(AEGPEffectSuite4, "AEGP Effect Suite", 4, void)                                 \
  FXAA_SUITE(AEGPLayerMaskSuite5, "AEGP Layer Mask Suite", 5, void)                          \
  FXAA_SUITE(AEGPMaskOutlineSuite2, "AEGP Mask Outline Suite", 2, void)                      \
  FXAA_SUITE(AEGPMaskOutlineSuite3, "AEGP Mask Outline Suite", 3, void)                      \
  FXAA_SUITE(AEGPMaskOutlineSuite5, "AEGP Mask Outline Suite", 5, void)                      \
  FXAA_SUITE(AEGPCommandSuite1, "AEGP Command Suite", 1, void)                               \
  FXAA_SUITE(AEGPUtilitySuite7, "AEGP Utility Suite", 7, void)                               \
  FXAA_SUITE(AEGPRenderSuite1, "AEGP Render Suite", 1, void)                                 \
  FXAA_SUITE(AEGPRenderSuite2, "AEGP Render Suite", 2, void)                                 \
  FXAA_SUITE(AEGPRenderSuite3, "AEGP Render Suite", 3, void)                                 \
  FXAA_SUITE(AEGPRenderSuite5, "AEGP Render Suite", 5, void)                                 \
  FXAA_SUITE(AEGPRenderSuite8, "AEGP Render Suite", 8, void)                                 \
  FXAA_SUITE(PFANSISuite1, "PF ANSI Suite", 1, PF_ANSICallbacksSuite1)                       \
  FXAA_SUITE(PFHandleSuite2, "PF Handle Suite", 2, PF_HandleSuite1)                          \
  FXAA_SUITE(PFFillMatteSuite2, "PF Fill Matte Suite", 2, void)                              \
  FXAA_SUITE(PFWorldTransformSuite1, "PF World Transform Suite", 1, void)                    \
  FXAA_SUITE(AEGPQueryXformSuite4, "AEGP QueryXform Suite", 4, void)                         \
  FXAA_SUITE(AEGPCompositeSuite4, "AEGP Composite Suite", 4, void)                           \
  FXAA_SUITE(PFWorldSuite1, "PF World Suite", 1, void)                                       \
  FXAA_SUITE(AEGPIOInSuite5, "AEGP IO In Suite", 5, void)                                    \
  FXAA_SUITE(AEGPIOOutSuite7, "AEGP IO Out Suite", 7, void)                                  \
  FXAA_SUITE(AEGPRenderQueueSuite1, "AEGP Render Queue Suite", 1, void)                      \
  FXAA_SUITE(AEGPRenderQueueItemSuite3, "AEGP Render Queue Item Suite", 3, void)             \
  FXAA_SUITE(AEGPOutputModuleSuite4, "AEGP Output Module Suite", 4, void)                    \
  FXAA_SUITE(AEGPFileImportManagerSuite3, "AEGP File Import Manager Suite", 3, void)         \
  FXAA_SUITE(PFSampling8Suite1, "PF Sampling8 Suite", 1, void)                               \
  FXAA_SUITE(PFSampling16Suite1, "PF Sampling16 Suite", 1, void)                             \
  FXAA_SUITE(PFIterate8Suite1, "PF Iterate8 Suite", 1, void)                                 \
  FXAA_SUITE(PFIterate16Suite1, "PF iterate16 Suite", 1, void)                               \
  FXAA_SUITE(PFIterateFloatSuite1, "PF iterateFloat Suite", 1, void)                         \
  FXAA_SUITE(AEGPCollectionSuite2, "AEGP Collection Suite", 2, void)                         \
  FXAA_SUITE(AEGPTextDocumentSuite1, "AEGP Text Document Suite", 1, void)                    \
  FXAA_SUITE(AEGPSoundDataSuite1, "AEGP Sound Data Suite", 1, void)                          \
  FXAA_SUITE(AEGPTextLayerSuite1, "AEGP Text Layer Suite", 1, void)                          \
  FXAA_SUITE(AEGPArtisanUtilSuite1, "AEGP Artisan Util Suite", 1, void)                      \
  FXAA_SUITE(AEGPWorldSuite2, "AEGP World Suite", 2, void)                                   \
  FXAA_SUITE(AEGPWorldSuite3, "AEGP World Suite", 3, void)                                   \
  FXAA_SUITE(AEGPRenderOptionsSuite1, "AEGP Render Options Suite", 1, void)                  \
  FXAA_SUITE(AEGPTrackerSuite1, "AEGP Tracker Suite", 1, void)                               \
  FXAA_SUITE(AEGPTrackerUtilitySuite1, "AEGP Tracker Utility Suite", 1, void)                \
  FXAA_SUITE(AEPluginHelperSuite2_2, "AE Plugin Helper Suite2", 2, void)                     \
  FXAA_SUITE(AEGPLayerSuite11, "AEGP Layer Suite", 11, void)                                 \
  FXAA_SUITE(AEGPLayerSuite12, "AEGP Layer Suite", 12, void)                                 \
  FXAA_SUITE(AEGPLayerSuite13, "AEGP Layer Suite", 13, void)                                 \
  FXAA_SUITE(AEGPLayerSuite14, "AEGP Layer Suite", 14, void)                                 \
  FXAA_SUITE(PFAEAdvItemSuite1, "PF AE Adv Item Suite", 1, void)                             \
  FXAA_SUITE(AEGPLayerSuite5, "AEGP Layer Suite", 5, void)                                   \
  FXAA_SUITE(AEGPLayerMaskSuite2, "AEGP Layer Mask Suite", 2, void)                          \
  FXAA_SUITE(AEGPLayerMaskSuite6, "AEGP Layer Mask Suite", 6, void)                          \
  FXAA_SUITE(AEGPLayerMaskSuite7, "AEGP Layer Mask Suite", 7, void)                          \
  FXAA_SUITE(AEGPCompSuite4, "AEGP Comp Suite", 4, void)                                     \
  FXAA_SUITE(AEGPCollectionSuite1, "AEGP Collection Suite", 1, void)                         \
  FXAA_SUITE(PFAEAdvAppSuite1, "PF AE Adv App Suite", 1, void)                               \
  FXAA_SUITE(AEGPUtilitySuite3, "AEGP Utility Suite", 3, void)                               \
  FXAA_SUITE(AEGPRenderOptionsSuite2, "AEGP Render Options Suite", 2, void)                  \
  FXAA_SUITE(AEGPLayerRenderOptionsSuite1, "AEGP Layer Render Options Suite", 1, void)       \
  FXAA_SUITE(AEGPLayerRenderOptionsSuite2, "AEGP Layer Render Options Suite", 2, void)       \
  FXAA_SUITE(AEGPRenderAsycManagerSuite1, "AEGP Render Asyc Manager Suite", 1, void)         \
  FXAA_SUITE(AEGPProjSuite8, "AEGP Proj Suite", 8, void)                                     \
  FXAA_SUITE(AEGPProjSuite9, "AEGP Proj Suite", 9, void)                                     \
  FXAA_SUITE(AEGPFootageSuite11, "AEGP Footage Suite", 11, void)                             \
  FXAA_SUITE(AEGPRenderQueueItemSuite4, "AEGP Render Queue Item Suite", 4, void)             \
  FXAA_SUITE(AEGPUtilitySuite10, "AEGP Utility Suite", 10, void)                             \
  FXAA_SUITE(AEGPPersistentDataSuite4, "AEGP Persistent Data Suite", 4, void)                \
  FXAA_SUITE(AEGPPersistentDataSuite3, "AEGP Persistent Data Suite", 3, void)                \
  FXAA_SUITE(PFColorSettingsSuite4, "PF Color Settings Suite", 4, void)                      \
  FXAA_SUITE(PFColorSettingsSuite3, "PF Color Settings Suite", 3, void)                      \
  FXAA_SUITE(PFColorSettingsSuite1, "PF Color Settings Suite", 1, void)                      \
  FXAA_SUITE(PFColorParamSuite1, "PF ColorParamSuite", 1, void)                              \
  FXAA_SUITE(PFSamplingFloatSuite1, "PF SamplingFloat Suite", 1, void)                       \
  FXAA_SUITE(AEGPUtilitySuite11, "AEGP Utility Suite", 11, void)                             \
  FXAA_SUITE(AEGPUtilitySuite13, "AEGP Utility Suite", 13, void)                             \
  FXAA_SUITE(PFEffectCustomUISuite1, "PF Effect Custom UI Suite", 1, void)                   \
  FXAA_SUITE(PFEffectCustomUISuite2, "PF Effect Custom UI Suite", 2, void)                   \
  FXAA_SUITE(PFEffectCustomUIOverlayThemeSuite1, "PF Effect Custom UI Overlay Theme Suite", 1, void) \
  FXAA_SUITE(DRAWBOTDrawSuite1, "DRAWBOT Draw Suite", 1, void)                               \
  FXAA_SUITE(DRAWBOTSupplierSuite1, "DRAWBOT Supplier Suite", 1, void)                       \
  FXAA_SUITE(DRAWBOTSurfaceSuite2, "DRAWBOT Surface Suite", 2, void)                         \
  FXAA_SUITE(DRAWBOTPathSuite1, "DRAWBOT Path Suite", 1, void)                               \
  FXAA_SUITE(SPSuitesSuite2, "SP Suites Suite", 2, void)
